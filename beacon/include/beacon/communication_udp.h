#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "beacon/export.h"
#include "beacon/icommunication_udp.h"
#include "beacon/network_card_info.h"

namespace netbridge {
class socket_udp_async;
}

namespace dp {

// The real endpoint: a thin adapter over one netbridge socket.
class BEACON_EXPORT communication_udp : public icommunication_udp {
public:
    /// Stores the card and port and creates the (unbound) socket.
    communication_udp(network_card_info card, std::uint16_t port);
    /// Closes the socket; no callback runs afterwards.
    ~communication_udp() override;
    communication_udp(const communication_udp&) = delete;
    communication_udp& operator=(const communication_udp&) = delete;

    int bind(bind_flag flag) override;
    void on_datagram_received(datagram_callback callback) override;
    int write_datagram(const std::string& data, const std::string& ip, std::uint16_t port) override;
    int receive_broadcast_enable() override;
    int receive_broadcast_disable() override;
    std::string ip_address() const override;
    std::uint16_t port() const override;
    std::string mask() const override;
    std::string mac_address() const override;

private:
    network_card_info card_;
    std::string bind_address_;
    std::uint16_t port_;
    std::unique_ptr<netbridge::socket_udp_async> socket_;
};

}  // namespace dp
