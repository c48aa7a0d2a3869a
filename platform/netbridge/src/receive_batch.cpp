#include "receive_batch.h"

#include <cerrno>
#include <cstring>

namespace netbridge::detail {

receive_batch::receive_batch() : slots_(new char[static_cast<std::size_t>(capacity) * slot_bytes]) {
    for (int i = 0; i < capacity; ++i) {
        io_[i].iov_base = slots_.get() + static_cast<std::size_t>(i) * slot_bytes;
        io_[i].iov_len = slot_bytes;
        msghdr& header = messages_[i].msg_hdr;
        header.msg_name = &senders_[i];
        header.msg_iov = &io_[i];
        header.msg_iovlen = 1;
        header.msg_control = controls_[i].bytes;
    }
}

int receive_batch::receive(int fd) {
    // The kernel shortens these to what each datagram used.
    for (auto& message : messages_) {
        message.msg_hdr.msg_namelen = sizeof(sockaddr_in);
        message.msg_hdr.msg_controllen = sizeof(control::bytes);
        message.msg_hdr.msg_flags = 0;
    }
    int count;
    do {
        count = ::recvmmsg(fd, messages_, capacity, MSG_DONTWAIT, nullptr);
    } while (count < 0 && errno == EINTR);
    return count < 0 ? 0 : count;
}

in_addr_t receive_batch::destination(int i) const {
    // CMSG_NXTHDR takes a non-const header; it only reads it.
    auto& header = const_cast<msghdr&>(messages_[i].msg_hdr);
    in_addr_t address = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            address = info.ipi_addr.s_addr;
        }
    }
    return address;
}

}  // namespace netbridge::detail
