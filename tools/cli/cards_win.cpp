// The card selection of the Linux program, from the IP Helper's adapter list:
// wired Ethernet cards that are up, the camera ports left out. Windows names
// cards by their friendly name ("Ethernet 2"), which is what --interface takes.
#include <ws2tcpip.h>

#include <cstdio>
#include <regex>

#include "cards.h"
#include "netcards/adapter_list.h"

namespace cli {
namespace {

std::string mac_text(const IP_ADAPTER_ADDRESSES& adapter) {
    std::string text;
    char pair[4] = {};
    for (ULONG i = 0; i < 6 && i < adapter.PhysicalAddressLength; ++i) {
        std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : ":%02X", adapter.PhysicalAddress[i]);
        text += pair;
    }
    return text;
}

std::string dotted(ULONG network_order) {
    in_addr address{};
    address.s_addr = network_order;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

bool is_camera_port(const std::string& name) {
    static const std::regex camera_port("^cam(1|2|3|4)$", std::regex::ECMAScript);
    return std::regex_search(name, camera_port);
}

// Calls visit(name, adapter) for each selected card.
template <typename Visit>
void for_each_card(Visit visit) {
    const netcards::adapter_list adapters;
    for (const auto& adapter : adapters) {
        if (adapter.IfType != IF_TYPE_ETHERNET_CSMACD || adapter.OperStatus != IfOperStatusUp) {
            continue;
        }
        const std::string name = netcards::friendly_name(adapter);
        if (!is_camera_port(name)) {
            visit(name, adapter);
        }
    }
}

}  // namespace

void show_card_query_messages(bool) {
    // The IP Helper reports nothing on its own.
}

std::vector<card_address> usable_addresses(const std::string& only_card) {
    std::vector<card_address> result;
    for_each_card([&](const std::string& name, const IP_ADAPTER_ADDRESSES& adapter) {
        if (!only_card.empty() && name != only_card) {
            return;
        }
        for (auto* unicast = adapter.FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            if (const auto address = netcards::ipv4_of(*unicast)) {
                result.push_back({name,
                                  {dotted(*address), dotted(netcards::netmask_of(*unicast)),
                                   mac_text(adapter)}});
            }
        }
    });
    return result;
}

std::vector<std::string> usable_card_names() {
    std::vector<std::string> names;
    for_each_card(
        [&](const std::string& name, const IP_ADAPTER_ADDRESSES&) { names.push_back(name); });
    return names;
}

}  // namespace cli
