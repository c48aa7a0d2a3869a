// The IP Helper's adapter list as the transport and the CLI read it. The
// tests run in a namespace with only loopback up, which wine reports as
// Windows' loopback adapter.
#include <gtest/gtest.h>

#include <ws2tcpip.h>

#include "netcards/adapter_list.h"

namespace {

ULONG dotted(const char* text) {
    in_addr address{};
    inet_pton(AF_INET, text, &address);
    return address.s_addr;
}

TEST(AdapterList, LoopbackIsListedWithItsAddressMaskAndName) {
    const netcards::adapter_list adapters;
    ASSERT_TRUE(adapters.read()) << adapters.error();
    int found = 0;
    for (const auto& adapter : adapters) {
        for (auto* unicast = adapter.FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            if (netcards::ipv4_of(*unicast) == dotted("127.0.0.1")) {
                ++found;
                EXPECT_EQ(netcards::netmask_of(*unicast), dotted("255.0.0.0"));
                EXPECT_EQ(adapter.IfType, static_cast<IFTYPE>(IF_TYPE_SOFTWARE_LOOPBACK));
                EXPECT_FALSE(netcards::friendly_name(adapter).empty());
            }
        }
    }
    EXPECT_EQ(found, 1);
}

TEST(AdapterList, OnlyIpv4EntriesGiveAnAddress) {
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    IP_ADAPTER_UNICAST_ADDRESS unicast{};
    unicast.Address.lpSockaddr = reinterpret_cast<sockaddr*>(&v6);
    EXPECT_FALSE(netcards::ipv4_of(unicast).has_value());
    unicast.Address.lpSockaddr = nullptr;
    EXPECT_FALSE(netcards::ipv4_of(unicast).has_value());
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = dotted("10.1.2.3");
    unicast.Address.lpSockaddr = reinterpret_cast<sockaddr*>(&v4);
    unicast.OnLinkPrefixLength = 20;
    EXPECT_EQ(netcards::ipv4_of(unicast), dotted("10.1.2.3"));
    EXPECT_EQ(netcards::netmask_of(unicast), dotted("255.255.240.0"));
}

}  // namespace
