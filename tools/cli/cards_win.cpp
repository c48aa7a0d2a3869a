// The card selection of the Linux program, from the IP Helper's adapter list:
// wired Ethernet cards that are up, the camera ports left out. Windows names
// cards by their friendly name ("Ethernet 2"), which is what --interface takes.
#include <winsock2.h>
#include <ws2tcpip.h>
// iphlpapi.h after winsock2.h: it needs its types.
#include <iphlpapi.h>

#include <cstdio>
#include <regex>
#include <vector>

#include "cards.h"

namespace cli {
namespace {

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back();  // the terminating zero
    return out;
}

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
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR) {
        return;
    }
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
         adapter = adapter->Next) {
        if (adapter->IfType != IF_TYPE_ETHERNET_CSMACD || adapter->OperStatus != IfOperStatusUp) {
            continue;
        }
        const std::string name = utf8(adapter->FriendlyName);
        if (!is_camera_port(name)) {
            visit(name, *adapter);
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
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) {
                continue;
            }
            ULONG mask = 0;
            ConvertLengthToIpv4Mask(unicast->OnLinkPrefixLength, &mask);
            result.push_back(
                {name,
                 {dotted(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr),
                  dotted(mask), mac_text(adapter)}});
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
