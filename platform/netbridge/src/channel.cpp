#include "channel.h"

#include "ipv4text/ipv4_text.h"
#include "receive_batch.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace netbridge::detail {
namespace {

// Thousands of devices answer within milliseconds of each scan.
constexpr int receive_buffer_bytes = 8 * 1024 * 1024;
// How long the receive thread lets datagrams gather after reading some: at
// least the shortest pause, longer with a buffer that holds what arrives
// meanwhile at half a gigabyte a second (a quarter of a million answers).
constexpr int shortest_settle_ms = 2;
constexpr int longest_settle_ms = 8;
constexpr int buffer_bytes_per_settle_ms = 512 * 1024;

const in_addr_t limited_broadcast = htonl(INADDR_BROADCAST);

}  // namespace

bool endpoint::accepts(in_addr_t destination) const {
    if (address == 0) {
        return true;
    }
    if (destination == address) {
        return true;
    }
    if (destination == limited_broadcast || destination == directed_broadcast) {
        return broadcast.load();
    }
    return false;
}

bool endpoint::is_broadcast(in_addr_t destination) const {
    return destination == limited_broadcast ||
           (address != 0 && destination == directed_broadcast && destination != address);
}

void endpoint::set_handler(handler callback) {
    std::lock_guard<std::recursive_mutex> lock(call_mutex_);
    callback_ = std::move(callback);
}

void endpoint::deliver(std::string data, std::string sender, unsigned short port) {
    std::lock_guard<std::recursive_mutex> lock(call_mutex_);
    if (!active_ || !callback_) {
        return;
    }
    try {
        callback_(std::move(data), std::move(sender), port);
    } catch (...) {
        // A throwing handler must not end the receive thread of every
        // endpoint on this card.
    }
}

void endpoint::deactivate() {
    std::lock_guard<std::recursive_mutex> lock(call_mutex_);
    active_ = false;
}

// The descriptors close here, with the last reference: after join() for a
// normal close (still under the registry lock, so the port is free when the
// next bind comes), or at the end of a detached receive thread.
channel::~channel() {
    if (thread_.joinable()) {
        thread_.detach();
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (wake_fd_ >= 0) {
        ::close(wake_fd_);
    }
}

int channel::open(const std::string& device) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return errno;
    }
    auto fail = [this](int error) {
        ::close(fd_);
        fd_ = -1;
        return error;
    };
    const int on = 1;
    if (!device.empty() &&
        setsockopt(fd_, SOL_SOCKET, SO_BINDTODEVICE, device.c_str(), device.size() + 1) != 0) {
        return fail(errno);
    }
    // The kernel only checks SO_BROADCAST on send; which endpoint may use
    // broadcast is decided per endpoint.
    if (setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        return fail(errno);
    }
    if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &receive_buffer_bytes,
                   sizeof receive_buffer_bytes) != 0) {
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer_bytes, sizeof receive_buffer_bytes);
    }
    // Without the privilege to force it the buffer is what the system
    // allows (about 400 KB on a default Debian), and the pause stays short.
    int granted = 0;
    socklen_t granted_size = sizeof granted;
    if (getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &granted, &granted_size) == 0) {
        settle_ms_ =
            std::clamp(granted / buffer_bytes_per_settle_ms, shortest_settle_ms, longest_settle_ms);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(key_.port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return fail(errno);
    }
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0) {
        return fail(errno);
    }
    try {
        thread_ = std::thread([self = shared_from_this()] { self->receive_loop(); });
    } catch (const std::system_error& error) {
        ::close(wake_fd_);
        wake_fd_ = -1;
        return fail(error.code().value() ? error.code().value() : EAGAIN);
    }
    return 0;
}

void channel::close() {
    closing_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wake_fd_, &one, sizeof one);
    if (!thread_.joinable()) {
        return;
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
        // Called from one of our own callbacks: the loop sees the wake-up once
        // the callback returns, and the thread's reference closes the socket.
        thread_.detach();
        return;
    }
    thread_.join();
}

std::vector<std::shared_ptr<endpoint>> channel::snapshot() {
    std::lock_guard<std::mutex> lock(members_mutex_);
    return members_;
}

void channel::add(const std::shared_ptr<endpoint>& ep) {
    std::lock_guard<std::mutex> lock(members_mutex_);
    members_.push_back(ep);
    members_version_.fetch_add(1, std::memory_order_release);
}

std::size_t channel::remove(const std::shared_ptr<endpoint>& ep) {
    std::lock_guard<std::mutex> lock(members_mutex_);
    members_.erase(std::remove(members_.begin(), members_.end(), ep), members_.end());
    members_version_.fetch_add(1, std::memory_order_release);
    return members_.size();
}

void channel::receive_loop() {
    receive_batch batch;
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    members cached;
    for (;;) {
        fds[0].revents = fds[1].revents = 0;
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[1].revents != 0) {
            break;
        }
        // Drain everything queued, a batch per system call, so a burst
        // costs one poll and a call per batch; a batch that comes back short
        // found the queue empty. A close ends the drain between batches.
        int count;
        do {
            count = batch.receive(fd_);
            for (int i = 0; i < count; ++i) {
                if (batch.truncated(i)) {
                    continue;
                }
                refresh(cached);
                dispatch(cached, batch.data(i), batch.size(i), batch.sender(i),
                         batch.destination(i));
            }
        } while (count == receive_batch::capacity && !closing_.load(std::memory_order_relaxed));
        // Endpoints that left go now, not at the next datagram.
        cached = {};
        // Answers to a scan trickle in a few at a time; reading them the
        // moment each arrives woke this thread (and the engine behind it)
        // for every second datagram, and in a virtual machine each wake-up
        // costs more than reading the datagram. A short pause lets the next
        // ones gather: an answer waits at most this long, the socket buffer
        // holds far more than arrives meanwhile, and a close still ends the
        // pause at once.
        if (::poll(&fds[1], 1, settle_ms_) > 0) {
            break;
        }
    }
}

void channel::refresh(members& cached) {
    const unsigned version = members_version_.load(std::memory_order_acquire);
    if (version != cached.version) {
        std::lock_guard<std::mutex> lock(members_mutex_);
        cached.endpoints = members_;
        cached.version = members_version_.load(std::memory_order_relaxed);
    }
}

void channel::dispatch(const members& cached, const char* data, std::size_t size,
                       const sockaddr_in& sender, in_addr_t destination) {
    const std::string text = ipv4text::format(ntohl(sender.sin_addr.s_addr));
    const unsigned short port = ntohs(sender.sin_port);
    for (const auto& ep : cached.endpoints) {
        if (ep->accepts(destination)) {
            ep->deliver(std::string(data, size), text, port);
        }
    }
}

registry& registry::get() {
    // Never destroyed: sockets may still be closed during static destruction.
    static registry* instance = new registry;
    return *instance;
}

int registry::attach(const channel_key& key, const std::string& device,
                     const std::shared_ptr<endpoint>& ep) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find_if(channels_.begin(), channels_.end(), [&](const auto& c) {
        return !(c->key() < key) && !(key < c->key());
    });
    std::shared_ptr<channel> target;
    if (found != channels_.end()) {
        target = *found;
        for (const auto& other : target->snapshot()) {
            if (other->address == ep->address) {
                return EADDRINUSE;
            }
        }
    } else {
        target = std::make_shared<channel>(key);
        if (int error = target->open(device); error != 0) {
            return error;
        }
        channels_.push_back(target);
    }
    ep->owner = target;
    target->add(ep);
    return 0;
}

void registry::detach(const std::shared_ptr<endpoint>& ep) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto target = ep->owner;
    if (!target) {
        return;
    }
    ep->owner.reset();
    if (target->remove(ep) == 0) {
        channels_.erase(std::remove(channels_.begin(), channels_.end(), target), channels_.end());
        target->close();
    }
}

}  // namespace netbridge::detail
