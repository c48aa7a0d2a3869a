#pragma once

// The card that owns one local IPv4 address, from the IP Helper's adapter
// list (Windows has neither getifaddrs nor network namespaces).

#include <winsock2.h>

#include <optional>

namespace netbridge::detail {

struct card_address {
    unsigned ifindex = 0;  // IPv4 interface index
    ULONG address = 0;     // network byte order
    ULONG netmask = 0;     // network byte order
};

std::optional<card_address> find_card(ULONG address);

// Maps a Winsock error to the errno value the callers know.
int errno_of(int wsa_error);

}  // namespace netbridge::detail
