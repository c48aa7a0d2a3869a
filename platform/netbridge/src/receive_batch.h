#pragma once

// Reads the datagrams queued on a socket many at a time (recvmmsg), each
// with its sender and the address it was sent to (IP_PKTINFO).

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <memory>

namespace netbridge::detail {

class receive_batch {
public:
    // Datagrams per system call: a scan's answers arrive in bursts of
    // thousands, and under load a call reads dozens at a time.
    static constexpr int capacity = 64;
    // Every slot takes the largest UDP payload over IPv4, so nothing is ever
    // cut short. The slots are left uninitialised: the kernel touches only
    // the pages the datagrams fill, so answers of a few hundred bytes keep
    // about 256 KB of the 4 MB resident.
    static constexpr std::size_t slot_bytes = 65536;

    receive_batch();

    // Reads up to capacity datagrams without waiting; returns how many
    // (0 when none is queued or on an error).
    int receive(int fd);

    const char* data(int i) const {
        return slots_.get() + static_cast<std::size_t>(i) * slot_bytes;
    }
    std::size_t size(int i) const { return messages_[i].msg_len; }
    bool truncated(int i) const { return (messages_[i].msg_hdr.msg_flags & MSG_TRUNC) != 0; }
    const sockaddr_in& sender(int i) const { return senders_[i]; }
    // The destination address of datagram i (network byte order), or 0
    // when the kernel gave none.
    in_addr_t destination(int i) const;

private:
    struct control {
        alignas(cmsghdr) char bytes[CMSG_SPACE(sizeof(in_pktinfo))];
    };

    std::unique_ptr<char[]> slots_;
    mmsghdr messages_[capacity] = {};
    iovec io_[capacity] = {};
    sockaddr_in senders_[capacity] = {};
    control controls_[capacity] = {};
};

}  // namespace netbridge::detail
