#pragma once

// Winsock counterpart of channel.h. Windows cannot tie a socket to a card, so
// one socket per port, bound to 0.0.0.0, serves the endpoints of every card:
// IP_PKTINFO tells each datagram's destination and arrival card, and a send
// names its card and source address. A datagram to a loopback socket that
// WSAPoll also watches ends the receive thread (there is no eventfd).

#include <winsock2.h>
#include <ws2tcpip.h>
// mswsock.h after winsock2.h: it needs its types.
#include <mswsock.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace netbridge::detail {

using in_addr_t = ULONG;  // network byte order, as in_addr::s_addr
class channel;

using handler = std::function<void(std::string, std::string, unsigned short)>;

class endpoint {
public:
    in_addr_t address = 0;             // 0 accepts everything
    in_addr_t directed_broadcast = 0;  // address | ~netmask
    unsigned ifindex = 0;
    std::atomic<bool> broadcast{false};
    std::shared_ptr<channel> owner;

    // True when a datagram to destination that arrived on card arrival
    // belongs to this endpoint: broadcasts only from its own card.
    bool accepts(in_addr_t destination, unsigned arrival) const;
    bool is_broadcast(in_addr_t destination) const;

    void set_handler(handler callback);
    void deliver(std::string data, std::string sender, unsigned short port);
    void deactivate();

private:
    std::recursive_mutex call_mutex_;
    bool active_ = true;
    handler callback_;
};

struct channel_key {
    unsigned short port = 0;
};

// Starts Winsock once per process (WSAStartup is reference counted; the
// process end releases it).
bool winsock_ready();

class channel : public std::enable_shared_from_this<channel> {
public:
    explicit channel(channel_key key) : key_(key) {}
    ~channel();

    // Opens the socket bound to 0.0.0.0:port and starts the receive thread;
    // returns 0 or an errno value.
    int open();
    void close();

    SOCKET socket() const { return socket_; }
    const channel_key& key() const { return key_; }
    // Sends one datagram out of ep's card with ep's address as source;
    // returns the bytes sent or -1 with errno set.
    int send(const endpoint& ep, const std::string& data, const sockaddr_in& destination);

    std::vector<std::shared_ptr<endpoint>> snapshot();
    void add(const std::shared_ptr<endpoint>& ep);
    std::size_t remove(const std::shared_ptr<endpoint>& ep);

private:
    void receive_loop();
    void dispatch(const char* data, std::size_t size, const sockaddr_in& sender,
                  in_addr_t destination, unsigned arrival_ifindex);

    channel_key key_;
    SOCKET socket_ = INVALID_SOCKET;
    SOCKET wake_ = INVALID_SOCKET;  // bound to 127.0.0.1; a datagram to it ends the loop
    LPFN_WSARECVMSG receive_message_ = nullptr;
    // IP_UNICAST_IF is per socket: set and used under one lock.
    std::mutex send_mutex_;
    std::thread thread_;
    std::mutex members_mutex_;
    std::vector<std::shared_ptr<endpoint>> members_;
};

class registry {
public:
    static registry& get();
    int attach(const channel_key& key, const std::shared_ptr<endpoint>& ep);
    void detach(const std::shared_ptr<endpoint>& ep);

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<channel>> channels_;
};

}  // namespace netbridge::detail
