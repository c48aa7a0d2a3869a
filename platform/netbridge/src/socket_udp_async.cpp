#include "netbridge/socket_udp_async.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "channel.h"
#include "interfaces.h"

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
    in_addr address{};
    if (inet_pton(AF_INET, ip.c_str(), &address) != 1) {
        return EINVAL;
    }
    detail::channel_key key;
    std::tie(key.ns_device, key.ns_inode) = detail::current_namespace();
    key.port = port;
    std::string device;
    endpoint_->address = address.s_addr;
    if (address.s_addr != htonl(INADDR_ANY)) {
        auto card = detail::find_card(address.s_addr);
        if (!card) {
            return EADDRNOTAVAIL;
        }
        key.ifindex = card->ifindex;
        device = card->device;
        endpoint_->directed_broadcast = card->address | ~card->netmask;
    }
    return detail::registry::get().attach(key, device, endpoint_);
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
    iovec io{const_cast<char*>(data.data()), data.size()};
    msghdr message{};
    message.msg_name = &destination;
    message.msg_namelen = sizeof destination;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (endpoint_->address != htonl(INADDR_ANY)) {
        // The shared socket is bound to 0.0.0.0 on the card; the source
        // address of this endpoint is chosen per datagram.
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = static_cast<int>(owner->key().ifindex);
        info.ipi_spec_dst.s_addr = endpoint_->address;
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    ssize_t sent;
    do {
        sent = ::sendmsg(owner->fd(), &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

socket_udp_async::socket_udp_async() = default;

socket_udp_async::~socket_udp_async() = default;

void socket_udp_async::on_datagram_received(datagram_handler handler) {
    endpoint_->set_handler(std::move(handler));
}

}  // namespace netbridge
