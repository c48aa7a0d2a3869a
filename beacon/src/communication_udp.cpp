#include "beacon/communication_udp.h"

#include <utility>

#include "netbridge/socket_udp_async.h"

namespace dp {

communication_udp::communication_udp(network_card_info card, std::uint16_t port)
    : card_(std::move(card)),
      bind_address_(card_.ip),
      port_(port),
      socket_(std::make_unique<netbridge::socket_udp_async>()) {}

communication_udp::~communication_udp() {
    // The socket goes first so that no callback can run on a half-destroyed endpoint.
    socket_.reset();
}

int communication_udp::bind(bind_flag flag) {
    auto value = static_cast<std::uint32_t>(flag);
    if (value > 3) {
        value = 0;
    }
    return socket_->bind(bind_address_, port_,
                         static_cast<netbridge::socket_udp_base::bindflag>(value));
}

void communication_udp::on_datagram_received(datagram_callback callback) {
    socket_->on_datagram_received(
        [callback = std::move(callback)](std::string data, std::string ip, unsigned short port) {
            callback(std::move(data), std::move(ip), port);
        });
}

int communication_udp::write_datagram(const std::string& data, const std::string& ip,
                                      std::uint16_t port) {
    return socket_->write_datagram(data, ip, port);
}

int communication_udp::receive_broadcast_enable() {
    return socket_->broadcast_enable(true);
}

int communication_udp::receive_broadcast_disable() {
    return socket_->broadcast_enable(false);
}

std::string communication_udp::ip_address() const {
    return bind_address_;
}

std::uint16_t communication_udp::port() const {
    return port_;
}

std::string communication_udp::mask() const {
    return card_.mask;
}

std::string communication_udp::mac_address() const {
    return card_.mac;
}

}  // namespace dp
