#include <cerrno>

#include "channel_win.h"
#include "interfaces_win.h"
#include "netbridge/socket_udp_async.h"

namespace netbridge {

socket_udp_base::socket_udp_base() : endpoint_(std::make_shared<detail::endpoint>()) {}

socket_udp_base::~socket_udp_base() {
    endpoint_->deactivate();
    detail::registry::get().detach(endpoint_);
}

int socket_udp_base::bind(const std::string& ip, unsigned short port, bindflag /*flag*/) {
    if (endpoint_->owner) {
        return EINVAL;
    }
    if (!detail::winsock_ready()) {
        return EIO;
    }
    in_addr address{};
    if (inet_pton(AF_INET, ip.c_str(), &address) != 1) {
        return EINVAL;
    }
    endpoint_->address = address.s_addr;
    if (address.s_addr != htonl(INADDR_ANY)) {
        auto card = detail::find_card(address.s_addr);
        if (!card) {
            return EADDRNOTAVAIL;
        }
        endpoint_->ifindex = card->ifindex;
        endpoint_->directed_broadcast = card->address | ~card->netmask;
    }
    detail::channel_key key;
    key.port = port;
    return detail::registry::get().attach(key, endpoint_);
}

int socket_udp_base::broadcast_enable(bool enable) {
    endpoint_->broadcast = enable;
    return 0;
}

int socket_udp_base::write_datagram(const std::string& data, const std::string& ip,
                                    unsigned short port) {
    auto owner = endpoint_->owner;
    if (!owner) {
        errno = ENOTCONN;
        return -1;
    }
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    if (inet_pton(AF_INET, ip.c_str(), &destination.sin_addr) != 1) {
        errno = EINVAL;
        return -1;
    }
    if (endpoint_->is_broadcast(destination.sin_addr.s_addr) && !endpoint_->broadcast) {
        errno = EACCES;
        return -1;
    }
    return owner->send(*endpoint_, data, destination);
}

socket_udp_async::socket_udp_async() = default;

socket_udp_async::~socket_udp_async() = default;

void socket_udp_async::on_datagram_received(datagram_handler handler) {
    endpoint_->set_handler(std::move(handler));
}

}  // namespace netbridge
