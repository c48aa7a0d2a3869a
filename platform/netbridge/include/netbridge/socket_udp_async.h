#pragma once

// netbridge: UDP endpoints bound to one local IPv4 address of one card.
//
// An endpoint for address A receives unicast to A and the limited and
// directed broadcasts that arrive on A's card, never traffic of other cards,
// and sends out of A's card with A as source address. Endpoints for several
// addresses of one card share one kernel socket per (card, port).

#include <functional>
#include <memory>
#include <string>

namespace netbridge {

namespace detail {
class endpoint;
}

class socket_udp_base {
public:
    // Accepted for compatibility with callers that pass their role; every
    // value binds the same way (one endpoint per address and port).
    enum bindflag : unsigned {
        bind_default = 0,
        bind_client = 1,
        bind_device = 2,
        bind_client_and_device = 3,
    };

    socket_udp_base();
    virtual ~socket_udp_base();
    socket_udp_base(const socket_udp_base&) = delete;
    socket_udp_base& operator=(const socket_udp_base&) = delete;

    /// Binds to ip:port on the card that owns ip ("0.0.0.0": every card).
    /// Returns 0, or an errno value: EADDRNOTAVAIL for an address that is not
    /// local, EADDRINUSE for a port already taken, EINVAL when already bound.
    int bind(const std::string& ip, unsigned short port, bindflag flag);

    /// Allows (or forbids) sending to and receiving broadcasts; 0 on success.
    int broadcast_enable(bool enable);

    /// Sends data as one datagram; returns the bytes sent or -1.
    int write_datagram(const std::string& data, const std::string& ip, unsigned short port);

protected:
    std::shared_ptr<detail::endpoint> endpoint_;
};

class socket_udp_async : public socket_udp_base {
public:
    using datagram_handler = std::function<void(std::string, std::string, unsigned short)>;

    socket_udp_async();
    /// Closes the socket; when it returns no callback runs any more.
    ~socket_udp_async() override;

    /// Called once per received datagram with (payload, sender address,
    /// sender port), on a receive thread of netbridge's own.
    void on_datagram_received(datagram_handler handler);
};

}  // namespace netbridge
