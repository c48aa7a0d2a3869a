#pragma once

// One kernel socket per (network namespace, card, port), shared by the
// endpoints of every address of that card, with one receive thread that hands
// each datagram to the endpoints it is meant for.

#include <netinet/in.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace netbridge::detail {

class channel;

using handler = std::function<void(std::string, std::string, unsigned short)>;

// What one socket_udp_async stands for once bound: an address on a channel.
class endpoint {
public:
    in_addr_t address = 0;             // network byte order; 0 accepts everything
    in_addr_t directed_broadcast = 0;  // address | ~netmask
    std::atomic<bool> broadcast{false};
    std::shared_ptr<channel> owner;

    // True when a datagram sent to destination belongs to this endpoint.
    bool accepts(in_addr_t destination) const;
    // True when destination needs broadcast permission to be sent to.
    bool is_broadcast(in_addr_t destination) const;

    void set_handler(handler callback);
    // Calls the handler unless deactivated; serialised with deactivate().
    void deliver(std::string data, std::string sender, unsigned short port);
    // Waits for a running handler call (unless it is this thread's own) and
    // makes sure no further call starts.
    void deactivate();

private:
    std::recursive_mutex call_mutex_;
    bool active_ = true;
    handler callback_;
};

struct channel_key {
    unsigned long ns_device = 0;
    unsigned long ns_inode = 0;
    unsigned ifindex = 0;
    unsigned short port = 0;
    bool operator<(const channel_key& other) const {
        return std::tie(ns_device, ns_inode, ifindex, port) <
               std::tie(other.ns_device, other.ns_inode, other.ifindex, other.port);
    }
};

class channel : public std::enable_shared_from_this<channel> {
public:
    explicit channel(channel_key key) : key_(key) {}
    ~channel();

    // Opens and binds the socket (SO_BINDTODEVICE device unless empty) and
    // starts the receive thread; returns 0 or an errno value.
    int open(const std::string& device);
    // Ends the receive thread (from the receive thread itself it is left to
    // finish on its own); the socket closes with the last reference.
    void close();

    int fd() const { return fd_; }
    const channel_key& key() const { return key_; }

    // Membership changes happen under the registry lock; the receive thread
    // reads a snapshot.
    std::vector<std::shared_ptr<endpoint>> snapshot();
    void add(const std::shared_ptr<endpoint>& ep);
    // Returns the number of endpoints left.
    std::size_t remove(const std::shared_ptr<endpoint>& ep);

private:
    // The receive thread's copy of the endpoints, taken again only when
    // they change, so a datagram costs no lock and no copy of the list.
    struct members {
        unsigned version = 0;
        std::vector<std::shared_ptr<endpoint>> endpoints;
    };

    void receive_loop();
    void refresh(members& cached);
    void dispatch(const members& cached, const char* data, std::size_t size,
                  const sockaddr_in& sender, in_addr_t destination);

    channel_key key_;
    int fd_ = -1;
    int wake_fd_ = -1;
    // The pause after a drain, chosen by the receive buffer the kernel gave.
    int settle_ms_ = 2;
    std::thread thread_;
    std::atomic<bool> closing_{false};
    std::mutex members_mutex_;
    std::vector<std::shared_ptr<endpoint>> members_;
    // Changes with every add and remove; starts above a fresh copy's 0.
    std::atomic<unsigned> members_version_{1};
};

// Process-wide table of open channels.
class registry {
public:
    static registry& get();

    // Attaches ep to the channel of (namespace, card, port), opening it when
    // needed; returns 0, EADDRINUSE when the address already has an endpoint
    // on that port, or the errno of opening the socket.
    int attach(const channel_key& key, const std::string& device,
               const std::shared_ptr<endpoint>& ep);
    // Detaches ep; the last endpoint closes the channel before this returns
    // (unless called from that channel's own receive thread). The socket is
    // closed under the lock, so a new bind right after never finds the port
    // still taken; receive callbacks therefore must not create or destroy
    // sockets of another channel.
    void detach(const std::shared_ptr<endpoint>& ep);

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<channel>> channels_;
};

}  // namespace netbridge::detail
