#include <gtest/gtest.h>

#include <beacon/configuration_response.h>
#include <beacon/discovery_request.h>
#include <beacon/discovery_response.h>
#include <beacon/event_with_metadata.h>
#include <beacon/localize_response.h>

#include "FakeClock.h"
#include "device/ProtocolEventConversion.h"
#include "device/RepeatedAnswers.h"
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

namespace {

// Every field of a converted answer but its request id, card and time.
QString contentOf(const IProtocolEvent* event) {
    const auto* r = dynamic_cast<const DiscoveryResponse*>(event);
    if (r == nullptr) {
        return "not a discovery answer";
    }
    return QStringList{r->mac,
                       r->ip,
                       r->subnetMask,
                       r->defaultGateway,
                       QString::number(static_cast<int>(r->deviceState)),
                       r->infoMessages.join('|'),
                       r->type,
                       r->url,
                       r->hwVersion,
                       QString::number(static_cast<int>(r->networkMethod)),
                       r->name,
                       r->articleNumber,
                       r->serialNumber,
                       r->manufactureDate,
                       r->fwVersion,
                       r->manufacturer,
                       QString::number(r->supportsDHCP),
                       QString::number(r->supportsPersistentIP),
                       QString::number(r->supportsLocalize),
                       QString::number(r->isAuthentication)}
        .join(',');
}

dp::event_with_metadata repeated(std::unique_ptr<dp::event> message, std::uint64_t key,
                                 const std::string& card = "192.168.0.10") {
    auto out = received(std::move(message), card);
    out.repeat_key = key;
    return out;
}

}  // namespace

TEST(RepeatedAnswers, ARepeatIsTheKeptConversionWithItsOwnIdCardAndTime) {
    fakes::FakeClock clock;
    RepeatedAnswers answers;
    const auto first = answers.convert(repeated(fullAnswer(), 7));
    const QString content = contentOf(first.data());

    struct Row {
        const char* name;
        std::string requestId;
        std::string card;
    };
    const Row rows[] = {
        {"the same id and card", "req-1", "192.168.0.10"},
        {"another id", "req-2", "192.168.0.10"},
        {"another card", "req-3", "10.0.0.1"},
        {"an empty id", "", "192.168.0.10"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        clock.advanceMs(1500);
        auto message = fullAnswer();
        message->set_request_id(row.requestId);
        const auto event = answers.convert(repeated(std::move(message), 7, row.card));
        ASSERT_TRUE(event);
        EXPECT_NE(event.data(), first.data());
        EXPECT_EQ(contentOf(event.data()), content);
        EXPECT_EQ(event->requestId, QString::fromStdString(row.requestId));
        EXPECT_EQ(event->ipOfAssociatedNic, QString::fromStdString(row.card));
        EXPECT_EQ(event->created, clock.currentDateTime());
        EXPECT_EQ(dynamic_cast<const DiscoveryResponse*>(event.data())->deviceId, "abc_x1");
    }
    // The kept conversion is untouched by the copies made of it.
    EXPECT_EQ(first->requestId, "req-1");
    EXPECT_EQ(first->ipOfAssociatedNic, "192.168.0.10");
}

TEST(RepeatedAnswers, OnlyAKeptKeyIsRepeatedAndEachDeviceKeepsItsNewest) {
    RepeatedAnswers answers(2);
    // Not compared by the library: converted as it is, nothing kept.
    auto renamed = fullAnswer();
    renamed->set_user_defined_name("Line 9");
    const auto unkeyed = answers.convert(repeated(std::move(renamed), 0));
    EXPECT_EQ(dynamic_cast<const DiscoveryResponse*>(unkeyed.data())->name, "Line 9");
    EXPECT_EQ(answers.size(), 0);

    answers.convert(repeated(fullAnswer(), 1));
    auto changed = fullAnswer();
    changed->set_user_defined_name("Line 4");
    const auto second = answers.convert(repeated(std::move(changed), 2));
    EXPECT_EQ(dynamic_cast<const DiscoveryResponse*>(second.data())->name, "Line 4");
    EXPECT_EQ(answers.size(), 1);
    // A key the store no longer holds is converted from the message itself.
    const auto again = answers.convert(repeated(fullAnswer(), 1));
    EXPECT_EQ(dynamic_cast<const DiscoveryResponse*>(again.data())->name, "Line 3");
    EXPECT_EQ(answers.size(), 1);

    auto other = fullAnswer();
    other->set_serial_number("X2");
    answers.convert(repeated(std::move(other), 3));
    EXPECT_EQ(answers.size(), 2);
    auto third = fullAnswer();
    third->set_serial_number("X3");
    answers.convert(repeated(std::move(third), 4));
    EXPECT_EQ(answers.size(), 1);

    // Other kinds are converted every time and never kept.
    auto localized = std::make_unique<dp::localize_response>();
    localized->set_request_id("loc-1");
    const auto event = answers.convert(repeated(std::move(localized), 5));
    ASSERT_TRUE(event.dynamicCast<LocalizeResponse>());
    EXPECT_EQ(answers.size(), 1);
}
