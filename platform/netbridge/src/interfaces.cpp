#include "interfaces.h"

#include <net/if.h>
#include <sys/stat.h>

#include "netcards/interface_list.h"

namespace netbridge::detail {

std::optional<card_address> find_card(in_addr_t address) {
    const netcards::interface_list list;
    for (const ifaddrs& entry : list) {
        if (netcards::ipv4_of(entry.ifa_addr) != address) {
            continue;
        }
        card_address card;
        card.device = netcards::card_of_label(entry.ifa_name);
        card.ifindex = if_nametoindex(card.device.c_str());
        card.address = address;
        card.netmask = netcards::ipv4_of(entry.ifa_netmask).value_or(0);
        if (card.ifindex != 0) {
            return card;
        }
    }
    return std::nullopt;
}

std::pair<unsigned long, unsigned long> current_namespace() {
    struct stat info {};
    if (stat("/proc/thread-self/ns/net", &info) != 0) {
        return {0, 0};
    }
    return {static_cast<unsigned long>(info.st_dev), static_cast<unsigned long>(info.st_ino)};
}

}  // namespace netbridge::detail
