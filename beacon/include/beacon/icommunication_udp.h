#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "beacon/export.h"

namespace dp {

// Passed unchanged to the socket layer's bind; any other value goes as none.
enum class bind_flag : std::uint32_t {
    none = 0,
    client = 1,
    device = 2,
    client_and_device = 3,
};

/// Receives (payload bytes, sender address, sender port) on the socket layer's thread.
using datagram_callback = std::function<void(std::string data, std::string ip, std::uint16_t port)>;

// One UDP endpoint bound to one local IPv4 address and a fixed port.
class BEACON_EXPORT icommunication_udp {
public:
    icommunication_udp() = default;
    icommunication_udp(const icommunication_udp&) = default;
    icommunication_udp& operator=(const icommunication_udp&) = default;
    virtual ~icommunication_udp() = default;

    /// Binds the socket to the endpoint's address and port; 0 on success.
    virtual int bind(bind_flag flag) = 0;
    /// Registers the receive callback (called on a thread of the socket layer).
    virtual void on_datagram_received(datagram_callback callback) = 0;
    /// Sends data as one datagram to ip:port; returns the number of bytes sent.
    virtual int write_datagram(const std::string& data, const std::string& ip,
                               std::uint16_t port) = 0;
    /// Allows sending to and receiving from broadcast addresses; 0 on success.
    virtual int receive_broadcast_enable() = 0;
    /// Disallows broadcast again; 0 on success.
    virtual int receive_broadcast_disable() = 0;
    /// The address the endpoint binds to.
    virtual std::string ip_address() const = 0;
    /// The local port.
    virtual std::uint16_t port() const = 0;
    /// The network mask of the endpoint's address.
    virtual std::string mask() const = 0;
    /// The card's hardware address.
    virtual std::string mac_address() const = 0;
};

}  // namespace dp
