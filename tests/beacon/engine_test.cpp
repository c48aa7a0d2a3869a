#include <gtest/gtest.h>

#include <beacon/beacon.h>

#include <chrono>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <tuple>

#include "fake_endpoint.h"

namespace {

using beacontest::endpoint_log;
using beacontest::fake_engine;
using Clock = std::chrono::steady_clock;
using dp::device_protocol;

const dp::network_card_info card_a{"192.168.1.10", "255.255.255.0", "aa:bb:cc:dd:ee:01"};
const dp::network_card_info card_b{"10.0.0.1", "255.255.0.0", "aa:bb:cc:dd:ee:02"};
const dp::network_card_info card_any{"0.0.0.0", "0.0.0.0", "aa:bb:cc:dd:ee:03"};

std::string reply_text(const std::string& id) {
    dp::localize_response r;
    r.set_request_id(id);
    r.set_result(sdk::system::operation_result::ACCEPTED);
    return dp::encode(r);
}

// A camera's discovery answer to the request `id`, named `name`.
std::string answer_text(const std::string& id, const std::string& name) {
    dp::discovery_response r;
    r.set_request_id(id);
    r.set_serial_number("S1");
    r.set_user_defined_name(name);
    return dp::encode(r);
}

long long elapsed_ms(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

TEST(EngineSetup, EmptyCardListWorksButSendsNothing) {
    auto engine = device_protocol::instance(device_protocol::client, {});
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->send_discovery_request(), -1);
    EXPECT_EQ(engine->send_localize_request("A", "S", "u", "p"), -1);
    dp::discovery_response response;
    EXPECT_EQ(engine->send_discovery_response(&response, "1.2.3.4"), -1);
    const auto start = Clock::now();
    EXPECT_FALSE(engine->get_next_event(10));
    EXPECT_GE(elapsed_ms(start), 10);
}

TEST(EngineSetup, PreparesEndpointsInOrderAndPrintsBinds) {
    testing::internal::CaptureStdout();
    fake_engine f(device_protocol::client, {card_a, card_b});
    const std::string out = testing::internal::GetCapturedStdout();
    for (const auto& log : f.logs) {
        EXPECT_EQ(log->calls, (std::vector<std::string>{"broadcast_enable", "bind", "callback"}));
        EXPECT_EQ(log->flag, dp::bind_flag::client);
    }
    EXPECT_EQ(out,
              "Bind successfully on:192.168.1.10:33002\nBind successfully on:10.0.0.1:33002\n");
}

TEST(EngineSetup, ModeChoosesFlagAndPorts) {
    struct Case {
        int mode;
        dp::bind_flag flag;
        std::uint16_t destination;
    };
    for (const Case c :
         {Case{0, dp::bind_flag::device, 33002}, Case{1, dp::bind_flag::client, 33001},
          Case{7, dp::bind_flag::client, 33001}}) {
        testing::internal::CaptureStdout();
        fake_engine f(static_cast<device_protocol::operating_mode>(c.mode), {card_a});
        f.engine->send_discovery_request();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(f.logs[0]->flag, c.flag) << "mode " << c.mode;
        ASSERT_EQ(f.logs[0]->writes.size(), 1u);
        EXPECT_EQ(f.logs[0]->writes[0].port, c.destination) << "mode " << c.mode;
    }
}

TEST(EngineSetup, BindFailureOnSecondCardThrowsAndClosesFirst) {
    std::vector<std::shared_ptr<endpoint_log>> logs = {std::make_shared<endpoint_log>(),
                                                       std::make_shared<endpoint_log>()};
    logs[1]->bind_result = 98;
    std::size_t next = 0;
    testing::internal::CaptureStdout();
    try {
        auto sockets = std::make_unique<dp::communication_udp_sockets>(
            [&](const dp::network_card_info& card) {
                return std::make_unique<beacontest::fake_endpoint>(card, 33002, logs[next++]);
            },
            std::vector<dp::network_card_info>{card_a, card_b});
        device_protocol engine(device_protocol::client, std::move(sockets));
        FAIL() << "no exception";
    } catch (const dp::protocol_exception& e) {
        EXPECT_EQ(e.ip(), "10.0.0.1");
        EXPECT_EQ(e.port(), 33002u);
        EXPECT_STREQ(e.what(), "Socket bind failed on 10.0.0.1:33002");
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(logs[0]->destroyed);
    EXPECT_EQ(logs[1]->calls, (std::vector<std::string>{"broadcast_enable", "bind", "destroyed"}));
    EXPECT_EQ(out, "Bind successfully on:192.168.1.10:33002\n");
}

TEST(EngineSetup, EveryEndpointIsDestroyedWhenConstructionFails) {
    std::vector<std::shared_ptr<endpoint_log>> logs = {std::make_shared<endpoint_log>(),
                                                       std::make_shared<endpoint_log>()};
    logs[1]->broadcast_result = -1;
    std::size_t next = 0;
    auto sockets = std::make_unique<dp::communication_udp_sockets>(
        [&](const dp::network_card_info& card) {
            return std::make_unique<beacontest::fake_endpoint>(card, 33002, logs[next++]);
        },
        std::vector<dp::network_card_info>{card_a, card_b});
    testing::internal::CaptureStdout();
    try {
        device_protocol engine(device_protocol::client, std::move(sockets));
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Cannot activate broadcast on socket");
    }
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(logs[0]->destroyed);
    EXPECT_TRUE(logs[1]->destroyed);
    EXPECT_EQ(logs[1]->calls, (std::vector<std::string>{"broadcast_enable", "destroyed"}));
}

class EngineSending : public ::testing::Test {
protected:
    void SetUp() override { testing::internal::CaptureStdout(); }
    void TearDown() override { testing::internal::GetCapturedStdout(); }
};

TEST_F(EngineSending, DiscoveryRequestIsBroadcastOnce) {
    fake_engine f(device_protocol::client, {card_a});
    testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    EXPECT_EQ(f.engine->send_discovery_request(), 96);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Sent 96 bytes to:255.255.255.255:33001\n");
    testing::internal::CaptureStdout();
    ASSERT_EQ(f.logs[0]->writes.size(), 1u);
    EXPECT_EQ(f.logs[0]->writes[0].ip, "255.255.255.255");
    EXPECT_EQ(f.logs[0]->writes[0].port, 33001);
}

TEST_F(EngineSending, RequestIdsAreFreshVersion4Uuids) {
    fake_engine f(device_protocol::client, {card_a});
    const std::regex v4("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    std::set<std::string> ids;
    for (int i = 0; i < 50; ++i) {
        f.engine->send_discovery_request();
    }
    for (const auto& w : f.logs[0]->writes) {
        const auto at = w.data.find(R"("id":")") + 6;
        const std::string id = w.data.substr(at, 36);
        EXPECT_TRUE(std::regex_match(id, v4)) << id;
        EXPECT_EQ(w.data[at + 36], '"');
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 50u);
}

TEST_F(EngineSending, ResponseDestinationsFollowTheSubnet) {
    fake_engine f(device_protocol::device, {card_a, card_b});
    struct Case {
        std::string target;
        std::string on_a;
        std::string on_b;
    };
    const std::vector<Case> table = {
        {"192.168.1.77", "192.168.1.77", "255.255.255.255"},
        {"10.0.200.5", "255.255.255.255", "10.0.200.5"},
        {"10.1.0.5", "255.255.255.255", "255.255.255.255"},
        {"127.0.0.1", "127.0.0.1", "127.0.0.1"},
        {"", "255.255.255.255", "255.255.255.255"},
        {"not-an-address", "255.255.255.255", "255.255.255.255"},
    };
    for (const auto& c : table) {
        for (auto& log : f.logs) {
            log->writes.clear();
        }
        dp::discovery_response response;
        const int length = static_cast<int>(dp::encode(response).size());
        EXPECT_EQ(f.engine->send_discovery_response(&response, c.target), length) << c.target;
        ASSERT_EQ(f.logs[0]->writes.size(), 1u);
        ASSERT_EQ(f.logs[1]->writes.size(), 1u);
        EXPECT_EQ(f.logs[0]->writes[0].ip, c.on_a) << c.target;
        EXPECT_EQ(f.logs[1]->writes[0].ip, c.on_b) << c.target;
        EXPECT_EQ(f.logs[0]->writes[0].port, 33002);
    }
}

TEST_F(EngineSending, AnyAddressCardNeverSends) {
    fake_engine f(device_protocol::client, {card_any, card_a});
    EXPECT_EQ(f.logs[0]->calls, (std::vector<std::string>{"broadcast_enable", "bind", "callback"}));
    EXPECT_GT(f.engine->send_discovery_request(), 0);
    dp::configuration_response response;
    f.engine->send_configuration_response(&response, "127.0.0.1");
    EXPECT_TRUE(f.logs[0]->writes.empty());
    EXPECT_EQ(f.logs[1]->writes.size(), 2u);

    fake_engine only_any(device_protocol::client, {card_any});
    EXPECT_EQ(only_any.engine->send_discovery_request(), -1);

    only_any.logs[0]->arrive(reply_text("r"), "192.168.1.5");
    auto item = only_any.engine->get_next_event(1000);
    ASSERT_TRUE(item) << "an any-address endpoint still receives";
    EXPECT_EQ(item->interface_ip, "0.0.0.0");
}

TEST_F(EngineSending, ShortWriteFailsButOtherEndpointsStillSend) {
    fake_engine f(device_protocol::client, {card_a, card_b},
                  [](std::size_t i, endpoint_log& log) { log.short_write = i == 0 ? 1 : 0; });
    testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    EXPECT_EQ(f.engine->send_discovery_request(), -1);
    EXPECT_EQ(f.logs[1]->writes.size(), 1u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Sent 95 bytes to:255.255.255.255:33001\nSent 96 bytes to:255.255.255.255:33001\n");
    testing::internal::CaptureStdout();
}

TEST_F(EngineSending, ConfigurationRequestValidatesBeforeSending) {
    fake_engine f(device_protocol::client, {card_a});
    try {
        f.engine->send_configuration_request("A", "S", "10.0.0.2", "255.0.0.0", "", "N",
                                             sdk::system::network_method_type::DHCP, "u", "p");
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Invalid IP address");
    }
    EXPECT_TRUE(f.logs[0]->writes.empty());
}

TEST_F(EngineSending, ConfigurationRequestCarriesProtectedCredentials) {
    fake_engine f(device_protocol::client, {card_a});
    const int sent = f.engine->send_configuration_request(
        "A", "S", "10.0.0.2", "255.0.0.0", "10.0.0.1", "N",
        sdk::system::network_method_type::PERSISTENT_IP, "admin", "secret");
    ASSERT_EQ(f.logs[0]->writes.size(), 1u);
    const std::string& text = f.logs[0]->writes[0].data;
    EXPECT_EQ(sent, static_cast<int>(text.size()));
    EXPECT_EQ(text.find("secret"), std::string::npos);
    EXPECT_NE(text.find(R"("username":"hLVeGetRpRfN2i5rDBPZ8Q==\n")"), std::string::npos);
    EXPECT_NE(text.find(R"("nic_name":"")"), std::string::npos);
}

// The requests that carry credentials, sent through one named card.
struct ThroughCard {
    const char* what;
    std::function<int(const dp::device_protocol&, const std::string& card)> send;
};

const std::vector<ThroughCard> credential_requests = {
    {"configuration",
     [](const dp::device_protocol& engine, const std::string& card) {
         return engine.send_configuration_request(
             card, "A", "S", "10.0.0.2", "255.0.0.0", "10.0.0.1", "N",
             sdk::system::network_method_type::DHCP, "admin", "secret");
     }},
    {"localize",
     [](const dp::device_protocol& engine, const std::string& card) {
         return engine.send_localize_request(card, "A", "S", "admin", "secret");
     }},
};

TEST_F(EngineSending, CredentialRequestsGoOutOfTheNamedCardOnly) {
    for (const auto& request : credential_requests) {
        fake_engine f(device_protocol::client, {card_a, card_b});
        const int sent = request.send(*f.engine, card_b.ip);
        EXPECT_TRUE(f.logs[0]->writes.empty()) << request.what;
        ASSERT_EQ(f.logs[1]->writes.size(), 1u) << request.what;
        const auto& write = f.logs[1]->writes[0];
        EXPECT_EQ(sent, static_cast<int>(write.data.size())) << request.what;
        EXPECT_EQ(write.ip, "255.255.255.255") << request.what;
        EXPECT_EQ(write.port, 33001) << request.what;
        EXPECT_EQ(write.data.find("secret"), std::string::npos) << request.what;
    }
}

TEST_F(EngineSending, UnknownCardAddressThrowsBeforeAnythingIsSent) {
    for (const auto& request : credential_requests) {
        for (const std::string card : {"10.9.9.9", "0.0.0.0", "", "192.168.1.1"}) {
            fake_engine f(device_protocol::client, {card_any, card_a, card_b});
            try {
                request.send(*f.engine, card);
                ADD_FAILURE() << request.what << " through '" << card << "' did not throw";
            } catch (const std::invalid_argument& e) {
                EXPECT_STREQ(e.what(), "Unknown card address");
            }
            for (const auto& log : f.logs) {
                EXPECT_TRUE(log->writes.empty()) << request.what << " through " << card;
            }
        }
    }
}

TEST_F(EngineSending, ShortWriteThroughTheNamedCardFails) {
    for (const auto& request : credential_requests) {
        fake_engine f(device_protocol::client, {card_a},
                      [](std::size_t, endpoint_log& log) { log.short_write = 1; });
        EXPECT_EQ(request.send(*f.engine, card_a.ip), -1) << request.what;
    }
}

TEST_F(EngineSending, AnEngineWithoutOneCardSendingSendsNothing) {
    // Another implementation of the interface that predates sending through
    // one card must not fall back to every card.
    struct every_card_only : dp::idevice_protocol {
        std::shared_ptr<dp::event_with_metadata> get_next_event(int) override { return {}; }
        int send_discovery_request() const override { return 1; }
        int send_discovery_response(dp::discovery_response*, const std::string&) const override {
            return 1;
        }
        int send_configuration_request(const std::string&, const std::string&, const std::string&,
                                       const std::string&, const std::string&, const std::string&,
                                       const sdk::system::network_method_type&, const std::string&,
                                       const std::string&) const override {
            return 1;
        }
        int send_configuration_response(dp::configuration_response*,
                                        const std::string&) const override {
            return 1;
        }
        int send_localize_request(const std::string&, const std::string&, const std::string&,
                                  const std::string&) const override {
            return 1;
        }
        int send_localize_response(dp::localize_response*, const std::string&) const override {
            return 1;
        }
        using dp::idevice_protocol::send_configuration_request;
        using dp::idevice_protocol::send_localize_request;
    };
    const every_card_only engine;
    EXPECT_EQ(engine.send_localize_request(card_a.ip, "A", "S", "u", "p"), -1);
    EXPECT_EQ(
        engine.send_configuration_request(card_a.ip, "A", "S", "10.0.0.2", "255.0.0.0", "10.0.0.1",
                                          "N", sdk::system::network_method_type::DHCP, "u", "p"),
        -1);
}

TEST_F(EngineSending, BadUtf8ThrowsBeforeAnythingIsSent) {
    fake_engine f(device_protocol::client, {card_a, card_b});
    EXPECT_ANY_THROW(f.engine->send_localize_request("\xff", "S", "u", "p"));
    EXPECT_TRUE(f.logs[0]->writes.empty());
    EXPECT_TRUE(f.logs[1]->writes.empty());
}

TEST_F(EngineSending, NullResponseIsRefused) {
    fake_engine f(device_protocol::device, {card_a});
    EXPECT_EQ(f.engine->send_discovery_response(nullptr, ""), -1);
    EXPECT_EQ(f.engine->send_configuration_response(nullptr, ""), -1);
    EXPECT_EQ(f.engine->send_localize_response(nullptr, ""), -1);
    EXPECT_TRUE(f.logs[0]->writes.empty());
}

class EngineQueue : public ::testing::Test {
protected:
    void SetUp() override {
        testing::internal::CaptureStdout();
        f = std::make_unique<fake_engine>(device_protocol::client,
                                          std::vector<dp::network_card_info>{card_a, card_b});
        testing::internal::GetCapturedStdout();
    }
    std::unique_ptr<fake_engine> f;
};

TEST_F(EngineQueue, EventsComeOutInArrivalOrderWithMetadata) {
    f->logs[0]->arrive(reply_text("first"), "192.168.1.50");
    f->logs[1]->arrive(reply_text("second"), "10.0.9.9");
    auto one = f->engine->get_next_event(100);
    auto two = f->engine->get_next_event(100);
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->message->request_id(), "first");
    EXPECT_EQ(one->sender_ip, "192.168.1.50");
    EXPECT_EQ(one->interface_ip, "192.168.1.10");
    EXPECT_EQ(two->message->request_id(), "second");
    EXPECT_EQ(two->interface_ip, "10.0.0.1");
    EXPECT_EQ(static_cast<int>(two->message->type_of_service()), 5);
}

// Every answer counts as a sign of life, also one that repeats the last
// word for word (the same id too); a changed one shows its change.
TEST_F(EngineQueue, RepeatedAnswersAllComeOutWithTheirOwnIds) {
    f->logs[0]->arrive(answer_text("r1", "cam"), "192.168.1.50");
    f->logs[0]->arrive(answer_text("r1", "cam"), "192.168.1.50");
    f->logs[1]->arrive(answer_text("r2", "cam"), "10.0.9.9");
    f->logs[0]->arrive(answer_text("r3", "cam2"), "192.168.1.50");
    const std::vector<std::tuple<std::string, std::string, std::string>> expected = {
        {"r1", "cam", "192.168.1.10"},
        {"r1", "cam", "192.168.1.10"},
        {"r2", "cam", "10.0.0.1"},
        {"r3", "cam2", "192.168.1.10"}};
    for (const auto& [id, name, card] : expected) {
        const auto item = f->engine->get_next_event(100);
        ASSERT_TRUE(item);
        const auto* reply = dynamic_cast<const dp::discovery_response*>(item->message.get());
        ASSERT_NE(reply, nullptr);
        EXPECT_EQ(reply->request_id(), id);
        EXPECT_EQ(reply->user_defined_name(), name);
        EXPECT_EQ(item->interface_ip, card);
    }
    EXPECT_FALSE(f->engine->get_next_event(0));
}

// A repeat filter sees only answers the engine has read before (by their
// repeat key and the receiving card); what it takes is not queued, and an
// answer it refuses comes out as without a filter.
TEST_F(EngineQueue, ARepeatFilterTakesOnlyRepeatsItAccepts) {
    std::vector<std::pair<std::uint64_t, std::string>> offered;
    std::uint64_t accepted = 0;
    std::string accepted_card = "192.168.1.10";
    f->engine->set_repeat_filter([&](std::uint64_t key, const std::string& card) {
        offered.emplace_back(key, card);
        return key == accepted && card == accepted_card;
    });
    f->logs[0]->arrive(answer_text("r1", "cam"), "192.168.1.50");
    const auto first = f->engine->get_next_event(100);
    ASSERT_TRUE(first);
    EXPECT_TRUE(offered.empty());  // a text not read before is never offered
    const std::uint64_t key = first->repeat_key;
    ASSERT_NE(key, 0u);

    // Refused: queued with its key, as without a filter.
    f->logs[0]->arrive(answer_text("r2", "cam"), "192.168.1.50");
    const auto refused = f->engine->get_next_event(100);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->repeat_key, key);
    EXPECT_EQ(refused->message->request_id(), "r2");

    accepted = key;
    f->logs[0]->arrive(answer_text("r3", "cam"), "192.168.1.50");
    f->logs[1]->arrive(answer_text("r4", "cam"), "10.0.9.9");       // another card: refused
    f->logs[0]->arrive(answer_text("r5", "cam2"), "192.168.1.50");  // changed: not offered
    const auto other_card = f->engine->get_next_event(100);
    ASSERT_TRUE(other_card);
    EXPECT_EQ(other_card->message->request_id(), "r4");
    const auto changed = f->engine->get_next_event(100);
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->message->request_id(), "r5");
    EXPECT_FALSE(f->engine->get_next_event(0));
    const std::vector<std::pair<std::uint64_t, std::string>> expected = {
        {key, "192.168.1.10"}, {key, "192.168.1.10"}, {key, "10.0.0.1"}};
    EXPECT_EQ(offered, expected);

    // Without a filter every answer comes out again.
    f->engine->set_repeat_filter({});
    f->logs[0]->arrive(answer_text("r6", "cam2"), "192.168.1.50");
    EXPECT_TRUE(f->engine->get_next_event(100));
}

TEST_F(EngineQueue, ThirdCallConsumesTheSignalFourthWaits) {
    f->logs[0]->arrive(reply_text("1"), "192.168.1.50");
    f->logs[0]->arrive(reply_text("2"), "192.168.1.50");
    EXPECT_TRUE(f->engine->get_next_event(0));
    EXPECT_TRUE(f->engine->get_next_event(0));
    auto start = Clock::now();
    EXPECT_FALSE(f->engine->get_next_event(5000));
    EXPECT_LT(elapsed_ms(start), 2500) << "the left-over signal must end the wait at once";
    start = Clock::now();
    EXPECT_FALSE(f->engine->get_next_event(50));
    EXPECT_GE(elapsed_ms(start), 50);
}

TEST_F(EngineQueue, ZeroTimeoutOnEmptyQueueReturnsAtOnce) {
    const auto start = Clock::now();
    EXPECT_FALSE(f->engine->get_next_event(0));
    EXPECT_FALSE(f->engine->get_next_event(-5));
    EXPECT_LT(elapsed_ms(start), 2500);
}

TEST_F(EngineQueue, WaitingCallWakesOnArrival) {
    std::thread sender([&] { f->logs[0]->arrive(reply_text("late"), "192.168.1.50"); });
    auto item = f->engine->get_next_event(10000);
    sender.join();
    ASSERT_TRUE(item);
    EXPECT_EQ(item->message->request_id(), "late");
}

TEST_F(EngineQueue, UndecodableDatagramsAreDropped) {
    f->logs[0]->arrive("", "192.168.1.50");
    f->logs[0]->arrive(std::string(1 << 20, '['), "192.168.1.50");
    f->logs[0]->arrive("[]", "192.168.1.50");
    f->logs[0]->arrive(R"({"id":"i","action":"REPLY","articleNumber":"A","serialNumber":"S",)"
                       R"("results":{"configuration":"NOPE"}})",
                       "192.168.1.50");
    f->logs[0]->arrive(reply_text("good"), "192.168.1.50");
    auto item = f->engine->get_next_event(100);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->message->request_id(), "good");
    EXPECT_FALSE(f->engine->get_next_event(0));
}

TEST_F(EngineQueue, ConcurrentArrivalsAreAllQueued) {
    constexpr int per_thread = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < per_thread; ++i) {
                f->logs[t]->arrive(reply_text(std::to_string(i)), "192.168.1.50");
            }
        });
    }
    int received = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (received < 2 * per_thread && Clock::now() < deadline) {
        if (f->engine->get_next_event(10)) {
            ++received;
        }
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(received, 2 * per_thread);
}

}  // namespace
