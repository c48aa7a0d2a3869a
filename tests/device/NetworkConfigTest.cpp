#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <string>

#include "NetLab.h"
#include "device/NetworkInterfaces.h"
#include "device/network_config.h"

using testsupport::NetLab;

namespace {

std::uint32_t ipv4(const char* text) {
    in_addr address{};
    inet_pton(AF_INET, text, &address);
    return address.s_addr;
}

const network_adapter* byName(const std::vector<network_adapter>& list, const std::wstring& name) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const network_adapter& a) { return a.friendlyName == name; });
    return it == list.end() ? nullptr : &*it;
}

// A host namespace with several cards toward a peer namespace:
//   eth1  10.1.0.1/24, up
//   cam2  10.2.0.1/24, up
//   eth3  10.3.0.1/24 and 10.3.1.1/24, default route via 10.3.0.254
//   eth4  10.4.0.1/24, up but its peer is down (no carrier)
//   eth5  10.5.0.1/24, administratively down
class NetworkConfigInNamespace : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!NetLab::available(&why)) {
            GTEST_SKIP() << why;
        }
        host = lab.addNamespace("host");
        peer = lab.addNamespace("peer");
        lab.link(host, "eth1", "10.1.0.1/24", peer, "p1", "10.1.0.2/24");
        lab.link(host, "cam2", "10.2.0.1/24", peer, "p2", "10.2.0.2/24");
        lab.link(host, "eth3", "10.3.0.1/24", peer, "p3", "10.3.0.254/24");
        lab.ip(host, "addr add 10.3.1.1/24 dev eth3");
        lab.ip(host, "route add default via 10.3.0.254 dev eth3");
        lab.link(host, "eth4", "10.4.0.1/24", peer, "p4", "");
        lab.ip(peer, "link set p4 down");
        lab.link(host, "eth5", "10.5.0.1/24", peer, "p5", "");
        lab.ip(host, "link set eth5 down");
    }

    std::vector<network_adapter> readInHost() {
        std::vector<network_adapter> result;
        lab.inNamespace(host, [&] { result = network_config().adapters(); });
        return result;
    }

    NetLab lab;
    std::string host;
    std::string peer;
};

}  // namespace

TEST_F(NetworkConfigInNamespace, ListsOnlyTheWiredCardsThatAreUp) {
    const std::vector<std::wstring> expected{L"eth1", L"cam2", L"eth3"};
    std::vector<std::wstring> names;
    // The kernel reports a lost carrier with a delay of up to a second.
    testsupport::waitFor(
        [&] {
            names.clear();
            for (const auto& a : readInHost()) {
                names.push_back(a.friendlyName);
            }
            return names == expected;
        },
        5000);
    // Loopback, a card without carrier and a card that is down are left out;
    // the system's order (interface index) is kept.
    EXPECT_EQ(names, expected);
}

TEST_F(NetworkConfigInNamespace, ReadsAddressesMasksAndTheDefaultGateway) {
    const auto adapters = readInHost();
    const auto* eth3 = byName(adapters, L"eth3");
    ASSERT_NE(eth3, nullptr);
    ASSERT_EQ(eth3->addresses.size(), 2u);
    EXPECT_EQ(eth3->addresses[0].address, ipv4("10.3.0.1"));
    EXPECT_EQ(eth3->addresses[0].mask, ipv4("255.255.255.0"));
    EXPECT_EQ(eth3->addresses[1].address, ipv4("10.3.1.1"));
    EXPECT_EQ(eth3->gateway, ipv4("10.3.0.254"));

    const auto* eth1 = byName(adapters, L"eth1");
    ASSERT_NE(eth1, nullptr);
    ASSERT_EQ(eth1->addresses.size(), 1u);
    EXPECT_EQ(eth1->addresses[0].address, ipv4("10.1.0.1"));
    EXPECT_EQ(eth1->gateway, 0u);
}

TEST_F(NetworkConfigInNamespace, ReadsTheHardwareAddress) {
    lab.ip(host, "link set eth1 address 00:1a:2b:3c:4d:5e");
    const auto adapters = readInHost();
    const auto* eth1 = byName(adapters, L"eth1");
    ASSERT_NE(eth1, nullptr);
    const std::array<std::uint8_t, 6> expected{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), eth1->mac.begin()));
}

TEST_F(NetworkConfigInNamespace, CardQueryGivesTheWiredCardsWithoutCameraPorts) {
    lab.ip(host, "link set eth1 address 00:1a:2b:3c:4d:5e");
    QVector<NIC> cards;
    QStringList names;
    testsupport::waitFor(
        [&] {
            lab.inNamespace(host, [&] { cards = queryNetworkInterfaces(); });
            names.clear();
            for (const auto& nic : cards) {
                names << nic.name.get();
            }
            return names == QStringList{"eth1", "eth3"};
        },
        5000);
    ASSERT_EQ(names, (QStringList{"eth1", "eth3"}));
    EXPECT_EQ(cards[0].mac.get(), "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(cards[0].addresses.get(), (QVector<NIC::Address>{{"10.1.0.1", "255.255.255.0"}}));
    EXPECT_EQ(cards[0].gateways.get(), QVector<QString>{"0.0.0.0"});
    EXPECT_EQ(cards[1].addresses.get(), (QVector<NIC::Address>{{"10.3.0.1", "255.255.255.0"},
                                                               {"10.3.1.1", "255.255.255.0"}}));
    EXPECT_EQ(cards[1].gateways.get(), QVector<QString>{"10.3.0.254"});
}
