#include "interfaces_win.h"

#include <cerrno>

#include "netcards/adapter_list.h"

namespace netbridge::detail {

std::optional<card_address> find_card(ULONG address) {
    const netcards::adapter_list adapters;
    for (const auto& adapter : adapters) {
        for (auto* unicast = adapter.FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            if (netcards::ipv4_of(*unicast) != address) {
                continue;
            }
            card_address card;
            card.ifindex = adapter.IfIndex;
            card.address = address;
            card.netmask = netcards::netmask_of(*unicast);
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
