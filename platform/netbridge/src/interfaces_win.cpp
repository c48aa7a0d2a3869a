#include "interfaces_win.h"

#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <cerrno>
#include <vector>

namespace netbridge::detail {

std::optional<card_address> find_card(ULONG address) {
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    // The list can grow between the size query and the call: retry a few
    // times with the size the system asked for.
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR) {
        return std::nullopt;
    }
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
         adapter = adapter->Next) {
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const sockaddr* socket_address = unicast->Address.lpSockaddr;
            if (socket_address == nullptr || socket_address->sa_family != AF_INET) {
                continue;
            }
            const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(socket_address);
            if (ipv4->sin_addr.s_addr != address) {
                continue;
            }
            card_address card;
            card.ifindex = adapter->IfIndex;
            card.address = address;
            ULONG mask = 0;
            ConvertLengthToIpv4Mask(unicast->OnLinkPrefixLength, &mask);
            card.netmask = mask;
            return card;
        }
    }
    return std::nullopt;
}

int errno_of(int wsa_error) {
    switch (wsa_error) {
        case WSAEADDRINUSE:
            return EADDRINUSE;
        case WSAEADDRNOTAVAIL:
            return EADDRNOTAVAIL;
        case WSAEACCES:
            return EACCES;
        case WSAEINVAL:
            return EINVAL;
        case WSAENOBUFS:
            return ENOBUFS;
        case WSAEMSGSIZE:
            return EMSGSIZE;
        case WSAENETUNREACH:
            return ENETUNREACH;
        case WSAEHOSTUNREACH:
            return EHOSTUNREACH;
        case WSAEWOULDBLOCK:
            return EWOULDBLOCK;
        default:
            return EIO;
    }
}

}  // namespace netbridge::detail
