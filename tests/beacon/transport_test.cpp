#include <gtest/gtest.h>

#include <beacon/beacon.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "NetLab.h"
#include "fake_endpoint.h"

namespace {

using beacontest::endpoint_log;
using beacontest::fake_endpoint;

const std::vector<dp::network_card_info> three_cards = {
    {"192.168.1.10", "255.255.255.0", "aa:00:00:00:00:01"},
    {"10.0.0.1", "255.0.0.0", "aa:00:00:00:00:02"},
    {"172.16.0.1", "255.255.0.0", "aa:00:00:00:00:03"},
};

TEST(EndpointSet, EmptyCardListNeverCallsTheFactory) {
    int calls = 0;
    dp::communication_udp_sockets set(
        [&](const dp::network_card_info&) -> std::unique_ptr<dp::icommunication_udp> {
            ++calls;
            return nullptr;
        },
        {});
    EXPECT_TRUE(set.sockets().empty());
    EXPECT_EQ(calls, 0);
    dp::communication_udp_sockets no_factory(dp::endpoint_factory{}, {});
    EXPECT_TRUE(no_factory.sockets().empty());
}

TEST(EndpointSet, EmptyFactoryThrowsBadFunctionCall) {
    EXPECT_THROW(dp::communication_udp_sockets(dp::endpoint_factory{}, three_cards),
                 std::bad_function_call);
}

TEST(EndpointSet, OneEndpointPerCardInCardOrder) {
    dp::communication_udp_sockets set(
        [](const dp::network_card_info& card) {
            return std::make_unique<fake_endpoint>(card, 1, std::make_shared<endpoint_log>());
        },
        three_cards);
    ASSERT_EQ(set.sockets().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(set.sockets()[i]->ip_address(), three_cards[i].ip);
        EXPECT_EQ(set.sockets()[i]->mask(), three_cards[i].mask);
        EXPECT_EQ(set.sockets()[i]->mac_address(), three_cards[i].mac);
    }
}

TEST(EndpointSet, FactoryFailureDestroysWhatWasMade) {
    auto first = std::make_shared<endpoint_log>();
    int calls = 0;
    EXPECT_THROW(
        dp::communication_udp_sockets(
            [&](const dp::network_card_info& card) -> std::unique_ptr<dp::icommunication_udp> {
                if (++calls == 2) {
                    throw std::runtime_error("no more sockets");
                }
                return std::make_unique<fake_endpoint>(card, 1, first);
            },
            three_cards),
        std::runtime_error);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(first->destroyed);
}

TEST(EndpointSet, DestroysEndpointsInVectorOrder) {
    std::vector<std::string> order;
    struct recording : fake_endpoint {
        recording(const dp::network_card_info& card, std::vector<std::string>& order)
            : fake_endpoint(card, 1, std::make_shared<endpoint_log>()),
              order_(order),
              ip_(card.ip) {}
        ~recording() override { order_.push_back(ip_); }
        std::vector<std::string>& order_;
        std::string ip_;
    };
    {
        dp::communication_udp_sockets set(
            [&](const dp::network_card_info& card) {
                return std::make_unique<recording>(card, order);
            },
            three_cards);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"192.168.1.10", "10.0.0.1", "172.16.0.1"}));
}

TEST(RealEndpoint, ReportsItsCardAndPort) {
    dp::communication_udp endpoint({"127.0.0.1", "255.0.0.0", "00:00:00:00:00:00"}, 40123);
    EXPECT_EQ(endpoint.ip_address(), "127.0.0.1");
    EXPECT_EQ(endpoint.mask(), "255.0.0.0");
    EXPECT_EQ(endpoint.mac_address(), "00:00:00:00:00:00");
    EXPECT_EQ(endpoint.port(), 40123);
}

TEST(RealEndpoint, UnboundEndpointCannotSend) {
    dp::communication_udp endpoint({"127.0.0.1", "255.0.0.0", ""}, 0);
    EXPECT_EQ(endpoint.write_datagram("x", "127.0.0.1", 9), -1);
}

TEST(RealEndpoint, LoopbackEndpointsExchangeDatagrams) {
    // Port 0 lets the kernel choose; the endpoints then learn nothing of it,
    // so fixed high ports are used and a taken one just fails the bind.
    dp::communication_udp a({"127.0.0.1", "255.0.0.0", ""}, 47311);
    dp::communication_udp b({"127.0.0.1", "255.0.0.0", ""}, 47312);
    ASSERT_EQ(a.bind(dp::bind_flag::client), 0);
    ASSERT_EQ(b.bind(static_cast<dp::bind_flag>(7)), 0);
    std::mutex mutex;
    std::vector<std::tuple<std::string, std::string, std::uint16_t>> got;
    b.on_datagram_received([&](std::string data, std::string ip, std::uint16_t port) {
        std::lock_guard<std::mutex> lock(mutex);
        got.emplace_back(data, ip, port);
    });
    EXPECT_EQ(a.write_datagram("hello", "127.0.0.1", 47312), 5);
    ASSERT_TRUE(testsupport::waitFor(
        [&] {
            std::lock_guard<std::mutex> lock(mutex);
            return !got.empty();
        },
        5000));
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(got[0], std::make_tuple(std::string("hello"), std::string("127.0.0.1"),
                                      std::uint16_t{47311}));
}

TEST(RealEndpoint, BindFailsForForeignAddressAndTakenPort) {
    dp::communication_udp foreign({"192.0.2.77", "255.255.255.0", ""}, 47313);
    EXPECT_NE(foreign.bind(dp::bind_flag::client), 0);
    dp::communication_udp first({"127.0.0.1", "255.0.0.0", ""}, 47314);
    dp::communication_udp second({"127.0.0.1", "255.0.0.0", ""}, 47314);
    ASSERT_EQ(first.bind(dp::bind_flag::client), 0);
    EXPECT_NE(second.bind(dp::bind_flag::client), 0);
    EXPECT_NE(first.bind(dp::bind_flag::client), 0) << "binding twice is refused";
}

}  // namespace
