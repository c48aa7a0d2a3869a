#include "channel_win.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "interfaces_win.h"

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace netbridge::detail {
namespace {

constexpr int receive_buffer_bytes = 8 * 1024 * 1024;
constexpr std::size_t datagram_buffer_bytes = 65536;
const in_addr_t limited_broadcast = htonl(INADDR_BROADCAST);

// Opens a UDP socket bound to address:port; INVALID_SOCKET with errno set.
SOCKET bound_socket(in_addr_t address, unsigned short port) {
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        errno = errno_of(WSAGetLastError());
        return INVALID_SOCKET;
    }
    // Without it another program could bind the same port with SO_REUSEADDR
    // and take the datagrams; on Linux the port is simply taken.
    const BOOL on = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        errno = errno_of(WSAGetLastError());
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

}  // namespace

bool winsock_ready() {
    static const bool ready = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

bool endpoint::accepts(in_addr_t destination, unsigned arrival) const {
    if (address == 0 || destination == address) {
        return true;
    }
    if (destination == limited_broadcast || destination == directed_broadcast) {
        return broadcast.load() && arrival == ifindex;
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
        // endpoint on this port.
    }
}

void endpoint::deactivate() {
    std::lock_guard<std::recursive_mutex> lock(call_mutex_);
    active_ = false;
}

channel::~channel() {
    if (thread_.joinable()) {
        thread_.detach();
    }
    if (socket_ != INVALID_SOCKET) {
        closesocket(socket_);
    }
    if (wake_ != INVALID_SOCKET) {
        closesocket(wake_);
    }
}

int channel::open() {
    if (!winsock_ready()) {
        return EIO;
    }
    socket_ = bound_socket(htonl(INADDR_ANY), key_.port);
    if (socket_ == INVALID_SOCKET) {
        return errno;
    }
    auto fail = [this](int error) {
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
        if (wake_ != INVALID_SOCKET) {
            closesocket(wake_);
            wake_ = INVALID_SOCKET;
        }
        return error;
    };
    const DWORD on = 1;
    if (setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                   sizeof on) != 0 ||
        setsockopt(socket_, IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&on),
                   sizeof on) != 0) {
        return fail(errno_of(WSAGetLastError()));
    }
    setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receive_buffer_bytes),
               sizeof receive_buffer_bytes);
    // An ICMP "port unreachable" for an earlier send would otherwise fail the
    // next receive with WSAECONNRESET.
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(socket_, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr,
             nullptr);
    u_long nonblocking = 1;
    if (ioctlsocket(socket_, FIONBIO, &nonblocking) != 0) {
        return fail(errno_of(WSAGetLastError()));
    }
    GUID receive_id = WSAID_WSARECVMSG;
    if (WSAIoctl(socket_, SIO_GET_EXTENSION_FUNCTION_POINTER, &receive_id, sizeof receive_id,
                 &receive_message_, sizeof receive_message_, &returned, nullptr, nullptr) != 0) {
        return fail(errno_of(WSAGetLastError()));
    }
    wake_ = bound_socket(htonl(INADDR_LOOPBACK), 0);
    if (wake_ == INVALID_SOCKET) {
        return fail(errno);
    }
    try {
        thread_ = std::thread([self = shared_from_this()] { self->receive_loop(); });
    } catch (const std::system_error& error) {
        return fail(error.code().value() ? error.code().value() : EAGAIN);
    }
    return 0;
}

void channel::close() {
    sockaddr_in self{};
    int length = sizeof self;
    if (getsockname(wake_, reinterpret_cast<sockaddr*>(&self), &length) == 0) {
        const char byte = 0;
        sendto(wake_, &byte, 1, 0, reinterpret_cast<const sockaddr*>(&self), sizeof self);
    }
    if (!thread_.joinable()) {
        return;
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
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
}

std::size_t channel::remove(const std::shared_ptr<endpoint>& ep) {
    std::lock_guard<std::mutex> lock(members_mutex_);
    members_.erase(std::remove(members_.begin(), members_.end(), ep), members_.end());
    return members_.size();
}

void channel::receive_loop() {
    std::vector<char> buffer(datagram_buffer_bytes);
    alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))];
    WSAPOLLFD fds[2] = {{socket_, POLLRDNORM, 0}, {wake_, POLLRDNORM, 0}};
    for (;;) {
        fds[0].revents = fds[1].revents = 0;
        if (WSAPoll(fds, 2, -1) == SOCKET_ERROR) {
            break;
        }
        if (fds[1].revents != 0) {
            break;
        }
        for (;;) {
            sockaddr_in sender{};
            WSABUF data{static_cast<ULONG>(buffer.size()), buffer.data()};
            WSAMSG message{};
            message.name = reinterpret_cast<sockaddr*>(&sender);
            message.namelen = sizeof sender;
            message.lpBuffers = &data;
            message.dwBufferCount = 1;
            message.Control.buf = control;
            message.Control.len = sizeof control;
            DWORD size = 0;
            if (receive_message_(socket_, &message, &size, nullptr, nullptr) != 0) {
                const int error = WSAGetLastError();
                if (error == WSAECONNRESET || error == WSAEMSGSIZE) {
                    continue;  // a stale ICMP report or an oversized datagram: skip it
                }
                break;
            }
            if ((message.dwFlags & MSG_TRUNC) != 0) {
                continue;
            }
            in_addr_t destination = 0;
            unsigned arrival = 0;
            for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message); c != nullptr;
                 c = WSA_CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    IN_PKTINFO info{};
                    std::memcpy(&info, WSA_CMSG_DATA(c), sizeof info);
                    destination = info.ipi_addr.s_addr;
                    arrival = info.ipi_ifindex;
                }
            }
            dispatch(buffer.data(), size, sender, destination, arrival);
        }
    }
}

void channel::dispatch(const char* data, std::size_t size, const sockaddr_in& sender,
                       in_addr_t destination, unsigned arrival_ifindex) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
    const unsigned short port = ntohs(sender.sin_port);
    for (const auto& ep : snapshot()) {
        if (ep->accepts(destination, arrival_ifindex)) {
            ep->deliver(std::string(data, size), text, port);
        }
    }
}

int channel::send(const endpoint& ep, const std::string& data, const sockaddr_in& destination) {
    WSABUF buffer{static_cast<ULONG>(data.size()), const_cast<char*>(data.data())};
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(const_cast<sockaddr_in*>(&destination));
    message.namelen = sizeof destination;
    message.lpBuffers = &buffer;
    message.dwBufferCount = 1;
    alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    std::lock_guard<std::mutex> lock(send_mutex_);
    if (ep.address != 0) {
        // The source address goes with each datagram; broadcasts ignore it
        // for the route, so the card is also named for the socket.
        message.Control.buf = control;
        message.Control.len = sizeof control;
        WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = WSA_CMSG_LEN(sizeof(IN_PKTINFO));
        IN_PKTINFO info{};
        info.ipi_addr.s_addr = ep.address;
        info.ipi_ifindex = ep.ifindex;
        std::memcpy(WSA_CMSG_DATA(c), &info, sizeof info);
    }
    // Byte order of IP_UNICAST_IF is the network's; 0 lets routing choose.
    const DWORD card = htonl(ep.ifindex);
    setsockopt(socket_, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&card),
               sizeof card);
    DWORD sent = 0;
    if (WSASendMsg(socket_, &message, 0, &sent, nullptr, nullptr) != 0) {
        errno = errno_of(WSAGetLastError());
        return -1;
    }
    return static_cast<int>(sent);
}

registry& registry::get() {
    static registry* instance = new registry;
    return *instance;
}

int registry::attach(const channel_key& key, const std::shared_ptr<endpoint>& ep) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find_if(channels_.begin(), channels_.end(),
                              [&](const auto& c) { return c->key().port == key.port; });
    std::shared_ptr<channel> target;
    if (found != channels_.end()) {
        target = *found;
        for (const auto& other : target->snapshot()) {
            // 0.0.0.0 takes every address, as a socket bound to it would.
            if (other->address == ep->address || other->address == 0 || ep->address == 0) {
                return EADDRINUSE;
            }
        }
    } else {
        target = std::make_shared<channel>(key);
        if (int error = target->open(); error != 0) {
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
