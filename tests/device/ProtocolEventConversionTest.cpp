#include <gtest/gtest.h>

#include <beacon/configuration_response.h>
#include <beacon/discovery_request.h>
#include <beacon/discovery_response.h>
#include <beacon/event_with_metadata.h>
#include <beacon/localize_response.h>

#include "FakeClock.h"
#include "device/ProtocolEventConversion.h"
#include "device/TextLimit.h"

using namespace std::string_literals;

namespace {

dp::event_with_metadata received(std::unique_ptr<dp::event> message,
                                 const std::string& interfaceIp = "192.168.0.10") {
    dp::event_with_metadata out;
    out.message = std::move(message);
    out.sender_ip = "192.168.0.77";
    out.interface_ip = interfaceIp;
    return out;
}

std::unique_ptr<dp::discovery_response> fullAnswer() {
    using sdk::system::capabilities;
    auto r = std::make_unique<dp::discovery_response>();
    r->set_request_id("req-1");
    r->set_mac("AA:BB:CC:DD:EE:FF");
    r->set_ip("192.168.0.77");
    r->set_mask("255.255.255.0");
    r->set_gateway("192.168.0.1");
    r->set_state(DeviceAdministrationFbbApi::DeviceState::DeviceState_WARNING);
    r->append_info_message("first");
    r->append_info_message("second");
    r->set_device_type("Camera");
    r->set_device_url("http://192.168.0.77/");
    r->set_hardware_version("1.0.2");
    r->set_network_method(sdk::system::network_method_type::DHCP);
    r->set_user_defined_name("Line 3");
    r->set_article_number("ABC");
    r->set_serial_number("X1");
    r->set_manufacture_date("2024-02-03");
    r->set_device_firmware("4.5.6");
    r->set_manufacturer("Maker");
    r->set_capability(capabilities::SUPPORTS_DHCP, true);
    r->set_capability(capabilities::SUPPORTS_LOCALIZE, true);
    r->set_authentication(true);
    return r;
}

}  // namespace

TEST(ProtocolEventConversion, DiscoveryAnswerFillsEveryField) {
    fakes::FakeClock clock;
    const auto event = convertProtocolEvent(received(fullAnswer()));
    const auto* r = dynamic_cast<const DiscoveryResponse*>(event.data());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->requestId, "req-1");
    EXPECT_EQ(r->ipOfAssociatedNic, "192.168.0.10");
    EXPECT_EQ(r->mac, "AA:BB:CC:DD:EE:FF");
    EXPECT_EQ(r->ip, "192.168.0.77");
    EXPECT_EQ(r->subnetMask, "255.255.255.0");
    EXPECT_EQ(r->defaultGateway, "192.168.0.1");
    EXPECT_EQ(r->deviceState, DeviceAdministrationFbbApi::DeviceState::DeviceState_WARNING);
    EXPECT_EQ(r->infoMessages, (QStringList{"first", "second"}));
    EXPECT_EQ(r->type, "Camera");
    EXPECT_EQ(r->url, "http://192.168.0.77/");
    EXPECT_EQ(r->hwVersion, "1.0.2");
    EXPECT_EQ(r->networkMethod, sdk::system::network_method_type::DHCP);
    EXPECT_EQ(r->name, "Line 3");
    EXPECT_EQ(r->articleNumber, "ABC");
    EXPECT_EQ(r->serialNumber, "X1");
    EXPECT_EQ(r->manufactureDate, "2024-02-03");
    EXPECT_EQ(r->fwVersion, "4.5.6");
    EXPECT_EQ(r->manufacturer, "Maker");
    EXPECT_TRUE(r->supportsDHCP);
    EXPECT_FALSE(r->supportsPersistentIP);
    EXPECT_TRUE(r->supportsLocalize);
    EXPECT_TRUE(r->isAuthentication);
    EXPECT_EQ(r->created, clock.currentDateTime());
}

TEST(ProtocolEventConversion, PaddedTextsEndAtTheirFirstNulButSerialAndDateStayWhole) {
    auto answer = fullAnswer();
    answer->set_article_number("AB\0CD"s);
    answer->set_serial_number("X1\0Y2"s);
    answer->set_manufacture_date("2024\0pad"s);
    answer->set_user_defined_name("Line\0\0\0"s);
    answer->set_device_firmware("4.5\0junk"s);
    answer->set_manufacturer("Maker\0"s);
    answer->set_device_type("Cam\0x"s);
    answer->set_device_url("u\0x"s);
    answer->set_hardware_version("1\0x"s);
    answer->append_info_message("third\0pad"s);
    const auto event = convertProtocolEvent(received(std::move(answer)));
    const auto* r = dynamic_cast<const DiscoveryResponse*>(event.data());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->articleNumber, "AB");
    EXPECT_EQ(r->serialNumber, QString::fromStdString("X1\0Y2"s));
    EXPECT_EQ(r->serialNumber.size(), 5);
    EXPECT_EQ(r->manufactureDate.size(), 8);
    EXPECT_EQ(r->name, "Line");
    EXPECT_EQ(r->fwVersion, "4.5");
    EXPECT_EQ(r->manufacturer, "Maker");
    EXPECT_EQ(r->type, "Cam");
    EXPECT_EQ(r->url, "u");
    EXPECT_EQ(r->hwVersion, "1");
    EXPECT_EQ(r->infoMessages, (QStringList{"first", "second", "third"}));
}

struct CutRow {
    const char* what;
    std::string text;
    std::size_t keptBytes;
};

TEST(TextLimit, CutsAtTheLastWholeCharacterWithinTheLimit) {
    const std::string a1023(1023, 'a');
    const std::vector<CutRow> rows = {
        {"short text stays", "Line 3", 6},
        {"exactly the limit stays", std::string(1024, 'a'), 1024},
        {"one byte over", std::string(1025, 'a'), 1024},
        {"two-byte character across the limit", a1023 + "\xc3\xa4", 1023},
        {"two-byte character ending at the limit", a1023.substr(1) + "\xc3\xa4" + "b", 1024},
        {"three-byte character across the limit", a1023 + "\xe2\x82\xac", 1023},
        {"four-byte character across the limit", std::string(1022, 'a') + "\xf0\x9f\x98\x80", 1022},
        {"only continuation bytes", std::string(2000, '\x80'), 0},
    };
    for (const auto& row : rows) {
        const std::string cut = cutAtCharacter(row.text);
        EXPECT_EQ(cut.size(), row.keptBytes) << row.what;
        EXPECT_EQ(cut, row.text.substr(0, row.keptBytes)) << row.what;
    }
    EXPECT_EQ(maxDeviceTextBytes, 1024u);
}

TEST(ProtocolEventConversion, EveryDeviceTextIsCutToTheLimitOnACharacterBoundary) {
    // 1023 bytes of "ä" and one "a": the 1024-byte cut falls inside an "ä".
    std::string longText = "a";
    while (longText.size() < 3000) {
        longText += "\xc3\xa4";
    }
    const QString expected = QString::fromStdString(longText.substr(0, 1023));
    auto answer = fullAnswer();
    answer->set_user_defined_name(longText);
    answer->set_device_type(longText);
    answer->set_device_url(longText);
    answer->set_hardware_version(longText);
    answer->set_device_firmware(longText);
    answer->set_manufacturer(longText);
    answer->set_manufacture_date(longText);
    answer->set_article_number(longText);
    answer->set_serial_number(longText);
    answer->append_info_message(longText);
    const auto event = convertProtocolEvent(received(std::move(answer)));
    const auto* r = dynamic_cast<const DiscoveryResponse*>(event.data());
    ASSERT_NE(r, nullptr);
    for (const QString& text :
         {r->name, r->type, r->url, r->hwVersion, r->fwVersion, r->manufacturer, r->manufactureDate,
          r->articleNumber, r->serialNumber, r->infoMessages.value(2)}) {
        EXPECT_EQ(text, expected);
        EXPECT_FALSE(text.contains(QChar::ReplacementCharacter));
    }
}

TEST(ProtocolEventConversion, ConfigurationAnswerCarriesIdentityAndResult) {
    auto answer = std::make_unique<dp::configuration_response>();
    answer->set_request_id("req-2");
    answer->set_article_number("ART\0pad"s);
    answer->set_serial_number("S\0N"s);
    answer->set_result(sdk::system::operation_result::RESERVED_IP);
    const auto event = convertProtocolEvent(received(std::move(answer), "10.0.0.1"));
    const auto* r = dynamic_cast<const ConfigurationResponse*>(event.data());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->requestId, "req-2");
    EXPECT_EQ(r->articleNumber, "ART");
    EXPECT_EQ(r->serialNumber.size(), 3);
    EXPECT_EQ(r->result, 8);
    EXPECT_EQ(r->ipOfAssociatedNic, "10.0.0.1");
}

TEST(ProtocolEventConversion, LocalizeAnswerCarriesTheResultEvenOutsideTheTable) {
    auto answer = std::make_unique<dp::localize_response>();
    answer->set_request_id("req-3");
    answer->set_result(static_cast<sdk::system::operation_result>(42));
    const auto event = convertProtocolEvent(received(std::move(answer)));
    const auto* r = dynamic_cast<const LocalizeResponse*>(event.data());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->requestId, "req-3");
    EXPECT_EQ(r->result, 42);
}

TEST(ProtocolEventConversion, OtherKindsGiveNoEvent) {
    EXPECT_TRUE(convertProtocolEvent(received(std::make_unique<dp::discovery_request>())).isNull());
    EXPECT_TRUE(convertProtocolEvent(received(nullptr)).isNull());
}

TEST(ProtocolEventConversion, FreshRecordsHoldTheMarkerDefaults) {
    const DiscoveryResponse r;
    EXPECT_EQ(r.mac, "00:00:00:00:00:00");
    EXPECT_EQ(r.ip, "0.1.2.3");
    EXPECT_EQ(r.name, "DummyDevice");
    EXPECT_EQ(static_cast<int>(r.networkMethod), 255);
    EXPECT_EQ(static_cast<int>(r.deviceState), 255);
    EXPECT_EQ(ConfigurationResponse().result, -1);
    EXPECT_EQ(LocalizeResponse().result, -1);
}

// The library's repeat key comes along, and the device's id is worked out
// here, on the worker, rather than for every answer on the main thread.
TEST(ProtocolEventConversion, ADiscoveryAnswerCarriesItsRepeatKeyAndItsDeviceId) {
    for (const std::uint64_t key : {std::uint64_t{7}, std::uint64_t{0}}) {
        SCOPED_TRACE(key);
        auto in = received(fullAnswer(), "192.168.0.10");
        in.repeat_key = key;
        const auto event = convertProtocolEvent(in).dynamicCast<DiscoveryResponse>();
        ASSERT_TRUE(event);
        EXPECT_EQ(event->repeatKey, key);
        EXPECT_EQ(event->deviceId, "abc_x1");
    }
}
