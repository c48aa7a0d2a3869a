#include <gtest/gtest.h>

#include <beacon/beacon.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "NetLab.h"

namespace {

using dp::device_protocol;
using sdk::system::network_method_type;
using sdk::system::operation_result;
using testsupport::NetLab;
using Clock = std::chrono::steady_clock;

// Polls the engine like the application does until an event of the kind
// arrives; events of other kinds (our own broadcasts) are skipped.
std::shared_ptr<dp::event_with_metadata> next_of_kind(dp::idevice_protocol& engine, int kind,
                                                      int timeout_ms = 5000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Clock::now() < deadline) {
        auto item = engine.get_next_event(10);
        if (item && static_cast<int>(item->message->type_of_service()) == kind) {
            return item;
        }
    }
    return nullptr;
}

template <typename Message>
Message& as(const std::shared_ptr<dp::event_with_metadata>& item) {
    return dynamic_cast<Message&>(*item->message);
}

class EngineLab : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!NetLab::available(&why)) {
            GTEST_SKIP() << why;
        }
        lab = std::make_unique<NetLab>();
        testing::internal::CaptureStdout();
    }
    void TearDown() override {
        if (lab) {
            testing::internal::GetCapturedStdout();
        }
    }

    std::unique_ptr<dp::idevice_protocol> engine_in(const std::string& ns,
                                                    device_protocol::operating_mode mode,
                                                    std::vector<dp::network_card_info> cards) {
        std::unique_ptr<dp::idevice_protocol> engine;
        lab->inNamespace(ns, [&] { engine = device_protocol::instance(mode, cards); });
        return engine;
    }

    std::unique_ptr<NetLab> lab;
};

TEST_F(EngineLab, ClientAndDeviceExchangeAllSixMessages) {
    const auto pc = lab->addNamespace("pc");
    const auto dev = lab->addNamespace("dev");
    lab->link(pc, "eth0", "10.1.0.1/24", dev, "eth0", "10.1.0.2/24");
    auto client = engine_in(pc, device_protocol::client, {{"10.1.0.1", "255.255.255.0", "m1"}});
    auto device = engine_in(dev, device_protocol::device, {{"10.1.0.2", "255.255.255.0", "m2"}});

    // Discovery.
    ASSERT_EQ(client->send_discovery_request(), 96);
    auto request = next_of_kind(*device, 0);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->sender_ip, "10.1.0.1");
    EXPECT_EQ(request->interface_ip, "10.1.0.2");
    EXPECT_EQ(request->message->request_id().size(), 36u);

    dp::discovery_response answer;
    answer.set_request_id(request->message->request_id());
    answer.set_article_number("1234");
    answer.set_serial_number("SN1");
    answer.set_ip("10.1.0.2");
    answer.set_mask("255.255.255.0");
    answer.set_state(DeviceAdministrationFbbApi::DeviceState::DeviceState_WARNING);
    answer.append_info_message("Temperature high");
    answer.set_capability(sdk::system::capabilities::SUPPORTS_LOCALIZE, true);
    ASSERT_GT(device->send_discovery_response(&answer, request->sender_ip), 0);
    auto response = next_of_kind(*client, 1);
    ASSERT_TRUE(response);
    EXPECT_TRUE(as<dp::discovery_response>(response) == answer);
    EXPECT_EQ(response->sender_ip, "10.1.0.2");
    EXPECT_EQ(response->interface_ip, "10.1.0.1");

    // Configuration.
    ASSERT_GT(client->send_configuration_request(
                  "1234", "SN1", "10.1.0.3", "255.255.255.0", "10.1.0.254", "Line 4",
                  network_method_type::PERSISTENT_IP, "admin", "s3cret"),
              0);
    auto configure = next_of_kind(*device, 2);
    ASSERT_TRUE(configure);
    auto& config = as<dp::configuration_request>(configure);
    EXPECT_EQ(config.ip(), "10.1.0.3");
    EXPECT_EQ(config.user_defined_name(), "Line 4");
    EXPECT_EQ(config.username(), "admin");
    EXPECT_EQ(config.password(), "s3cret");

    dp::configuration_response configured;
    configured.set_request_id(config.request_id());
    configured.set_article_number("1234");
    configured.set_serial_number("SN1");
    configured.set_result(operation_result::INVALID_RIGHTS);
    ASSERT_GT(device->send_configuration_response(&configured, configure->sender_ip), 0);
    auto configured_back = next_of_kind(*client, 3);
    ASSERT_TRUE(configured_back);
    EXPECT_EQ(as<dp::configuration_response>(configured_back).result(),
              operation_result::INVALID_RIGHTS);
    EXPECT_EQ(configured_back->message->request_id(), config.request_id());

    // Localize.
    ASSERT_GT(client->send_localize_request("1234", "SN1", "", "pw"), 0);
    auto localize = next_of_kind(*device, 4);
    ASSERT_TRUE(localize);
    EXPECT_EQ(as<dp::localize_request>(localize).password(), "pw");
    EXPECT_EQ(as<dp::localize_request>(localize).username(), "");

    dp::localize_response localized;
    localized.set_request_id(localize->message->request_id());
    localized.set_article_number("1234");
    localized.set_serial_number("SN1");
    localized.set_result(operation_result::ACCEPTED);
    ASSERT_GT(device->send_localize_response(&localized, localize->sender_ip), 0);
    auto localized_back = next_of_kind(*client, 5);
    ASSERT_TRUE(localized_back);
    EXPECT_EQ(as<dp::localize_response>(localized_back).result(), operation_result::ACCEPTED);
}

TEST_F(EngineLab, AnswerToForeignSubnetArrivesByBroadcast) {
    const auto pc = lab->addNamespace("pc");
    const auto dev = lab->addNamespace("dev");
    lab->link(pc, "eth0", "10.1.0.1/24", dev, "eth0", "192.168.50.9/24");
    auto client = engine_in(pc, device_protocol::client, {{"10.1.0.1", "255.255.255.0", ""}});
    auto device = engine_in(dev, device_protocol::device, {{"192.168.50.9", "255.255.255.0", ""}});
    ASSERT_GT(client->send_discovery_request(), 0);
    auto request = next_of_kind(*device, 0);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->sender_ip, "10.1.0.1");
    dp::discovery_response answer;
    answer.set_request_id(request->message->request_id());
    ASSERT_GT(device->send_discovery_response(&answer, request->sender_ip), 0);
    auto response = next_of_kind(*client, 1);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->message->request_id(), request->message->request_id());
    EXPECT_EQ(response->sender_ip, "192.168.50.9");
}

TEST_F(EngineLab, EachCardHearsOnlyItsOwnWire) {
    const auto pc = lab->addNamespace("pc");
    const auto d1 = lab->addNamespace("d1");
    const auto d2 = lab->addNamespace("d2");
    lab->link(pc, "eth0", "10.1.0.1/24", d1, "eth0", "10.1.0.2/24");
    lab->link(pc, "eth1", "10.2.0.1/24", d2, "eth0", "10.2.0.2/24");
    auto client = engine_in(pc, device_protocol::client,
                            {{"10.1.0.1", "255.255.255.0", ""}, {"10.2.0.1", "255.255.255.0", ""}});
    auto dev1 = engine_in(d1, device_protocol::device, {{"10.1.0.2", "255.255.255.0", ""}});
    auto dev2 = engine_in(d2, device_protocol::device, {{"10.2.0.2", "255.255.255.0", ""}});

    dp::discovery_response one;
    one.set_request_id("from-d1");
    dp::discovery_response two;
    two.set_request_id("from-d2");
    ASSERT_GT(dev1->send_discovery_response(&one, ""), 0);
    ASSERT_GT(dev2->send_discovery_response(&two, ""), 0);

    std::vector<std::shared_ptr<dp::event_with_metadata>> got;
    for (int i = 0; i < 2; ++i) {
        auto item = next_of_kind(*client, 1);
        ASSERT_TRUE(item);
        got.push_back(item);
    }
    EXPECT_FALSE(next_of_kind(*client, 1, 200)) << "each broadcast is received once";
    for (const auto& item : got) {
        if (item->message->request_id() == "from-d1") {
            EXPECT_EQ(item->interface_ip, "10.1.0.1");
            EXPECT_EQ(item->sender_ip, "10.1.0.2");
        } else {
            EXPECT_EQ(item->message->request_id(), "from-d2");
            EXPECT_EQ(item->interface_ip, "10.2.0.1");
            EXPECT_EQ(item->sender_ip, "10.2.0.2");
        }
    }

    // A request goes out of every card.
    ASSERT_GT(client->send_discovery_request(), 0);
    EXPECT_TRUE(next_of_kind(*dev1, 0));
    EXPECT_TRUE(next_of_kind(*dev2, 0));
}

TEST_F(EngineLab, LoopbackCardCarriesBothEnds) {
    const auto host = lab->addNamespace("host");
    const dp::network_card_info lo{"127.0.0.1", "255.0.0.0", "00:00:00:00:00:00"};
    auto client = engine_in(host, device_protocol::client, {lo});
    auto device = engine_in(host, device_protocol::device, {lo});
    ASSERT_GT(client->send_discovery_request(), 0);
    auto request = next_of_kind(*device, 0);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->sender_ip, "127.0.0.1");
    dp::discovery_response answer;
    answer.set_request_id(request->message->request_id());
    ASSERT_GT(device->send_discovery_response(&answer, "127.0.0.1"), 0);
    EXPECT_TRUE(next_of_kind(*client, 1));
}

TEST_F(EngineLab, BindingANonLocalAddressFails) {
    const auto pc = lab->addNamespace("pc");
    try {
        engine_in(pc, device_protocol::client, {{"10.77.0.1", "255.255.255.0", ""}});
        FAIL() << "no exception";
    } catch (const dp::protocol_exception& e) {
        EXPECT_STREQ(e.what(), "Socket bind failed on 10.77.0.1:33002");
    }
}

TEST_F(EngineLab, SecondEngineOnTakenPortFails) {
    const auto pc = lab->addNamespace("pc");
    const dp::network_card_info lo{"127.0.0.1", "255.0.0.0", ""};
    auto first = engine_in(pc, device_protocol::client, {lo});
    ASSERT_TRUE(first);
    EXPECT_THROW(engine_in(pc, device_protocol::client, {lo}), dp::protocol_exception);
    first.reset();
    EXPECT_TRUE(engine_in(pc, device_protocol::client, {lo})) << "free again once destroyed";
}

TEST_F(EngineLab, HostileDatagramsLeaveTheEngineWorking) {
    const auto pc = lab->addNamespace("pc");
    const auto dev = lab->addNamespace("dev");
    lab->link(pc, "eth0", "10.1.0.1/24", dev, "eth0", "10.1.0.2/24");
    auto client = engine_in(pc, device_protocol::client, {{"10.1.0.1", "255.255.255.0", ""}});
    std::unique_ptr<dp::communication_udp> raw;
    lab->inNamespace(dev, [&] {
        raw = std::make_unique<dp::communication_udp>(
            dp::network_card_info{"10.1.0.2", "255.255.255.0", ""}, 33001);
        ASSERT_EQ(raw->receive_broadcast_enable(), 0);
        ASSERT_EQ(raw->bind(dp::bind_flag::device), 0);
    });
    for (const std::string& junk :
         {std::string(60000, '['), std::string("[]"), std::string("\0\1\2", 3),
          std::string(R"({"id":"x","action":"REPLY","results":{"localize":"NOPE"}})")}) {
        raw->write_datagram(junk, "10.1.0.1", 33002);
    }
    dp::localize_response good;
    good.set_request_id("good");
    raw->write_datagram(dp::encode(good), "10.1.0.1", 33002);
    auto item = next_of_kind(*client, 5);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->message->request_id(), "good");
}

TEST_F(EngineLab, BurstOfAnswersIsNotLost) {
    // Thousands of devices answer within milliseconds of a scan; the socket
    // buffer has to hold them until the receive thread catches up.
    const auto pc = lab->addNamespace("pc");
    const auto dev = lab->addNamespace("dev");
    lab->link(pc, "eth0", "10.1.0.1/24", dev, "eth0", "10.1.0.2/24");
    auto client = engine_in(pc, device_protocol::client, {{"10.1.0.1", "255.255.255.0", ""}});
    std::unique_ptr<dp::communication_udp> devices;
    lab->inNamespace(dev, [&] {
        devices = std::make_unique<dp::communication_udp>(
            dp::network_card_info{"10.1.0.2", "255.255.255.0", ""}, 33001);
        ASSERT_EQ(devices->receive_broadcast_enable(), 0);
        ASSERT_EQ(devices->bind(dp::bind_flag::device), 0);
    });
    constexpr int burst = 3000;
    dp::discovery_response answer;
    answer.set_device_type("Vision sensor");
    answer.set_user_defined_name(std::string(300, 'n'));
    for (int i = 0; i < burst; ++i) {
        answer.set_serial_number("SN" + std::to_string(i));
        const std::string text = dp::encode(answer);
        ASSERT_EQ(devices->write_datagram(text, "255.255.255.255", 33002),
                  static_cast<int>(text.size()));
    }
    int received = 0;
    while (received < burst && next_of_kind(*client, 1, 5000)) {
        ++received;
    }
    EXPECT_EQ(received, burst);
    EXPECT_FALSE(next_of_kind(*client, 1, 100)) << "nothing is delivered twice";
}

}  // namespace
