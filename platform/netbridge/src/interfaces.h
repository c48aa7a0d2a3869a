#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>

namespace netbridge::detail {

// The card that owns one local IPv4 address, as the calling thread's network
// namespace sees it.
struct card_address {
    std::string device;     // kernel device name ("eth0"; labels like "eth0:1" stripped)
    unsigned ifindex = 0;   // kernel interface index
    in_addr_t address = 0;  // network byte order
    in_addr_t netmask = 0;  // network byte order
};

// Looks the address up with getifaddrs (not /sys, which shows the namespace
// that mounted it rather than the calling thread's).
std::optional<card_address> find_card(in_addr_t address);

// Identity of the calling thread's network namespace (device and inode of its
// nsfs file); endpoints in different namespaces never share a socket.
std::pair<unsigned long, unsigned long> current_namespace();

}  // namespace netbridge::detail
