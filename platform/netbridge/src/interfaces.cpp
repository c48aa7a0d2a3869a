#include "interfaces.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/stat.h>

namespace netbridge::detail {

std::optional<card_address> find_card(in_addr_t address) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return std::nullopt;
    }
    std::optional<card_address> found;
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (in->sin_addr.s_addr != address) {
            continue;
        }
        card_address card;
        card.device = entry->ifa_name;
        card.device = card.device.substr(0, card.device.find(':'));
        card.ifindex = if_nametoindex(card.device.c_str());
        card.address = address;
        if (entry->ifa_netmask != nullptr) {
            card.netmask =
                reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr;
        }
        if (card.ifindex != 0) {
            found = card;
            break;
        }
    }
    freeifaddrs(list);
    return found;
}

std::pair<unsigned long, unsigned long> current_namespace() {
    struct stat info {};
    if (stat("/proc/thread-self/ns/net", &info) != 0) {
        return {0, 0};
    }
    return {static_cast<unsigned long>(info.st_dev), static_cast<unsigned long>(info.st_ino)};
}

}  // namespace netbridge::detail
