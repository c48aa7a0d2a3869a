// What the tool prints: answers in words, the device table and JSON lines.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "found_device.h"
#include "outcome_text.h"

using sdk::system::operation_result;

namespace {

cli::found_device device(const std::string& article, const std::string& serial,
                         const std::string& name, const std::string& ip) {
    cli::found_device d;
    d.answer.set_article_number(article);
    d.answer.set_serial_number(serial);
    d.answer.set_user_defined_name(name);
    d.answer.set_ip(ip);
    d.answer.set_mask("255.255.255.0");
    d.answer.set_gateway("10.1.0.1");
    d.answer.set_network_method(sdk::system::network_method_type::DHCP);
    d.answer.set_state(DeviceAdministrationFbbApi::DeviceState::DeviceState_WARNING);
    d.id = cli::device_id(d.answer);
    d.card_name = "lan1";
    d.card_ip = "10.1.0.2";
    d.sender_ip = ip;
    return d;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        out.push_back(text.substr(start, end - start));
    }
    return out;
}

}  // namespace

TEST(CliOutcomes, ConfigurationAnswersReadAsTheProgramWordsThem) {
    EXPECT_EQ(cli::configuration_outcome(operation_result::ACCEPTED),
              "Configuration changed successfully");
    EXPECT_EQ(cli::configuration_outcome(operation_result::NOT_AUTHORIZED), "Not authorized");
    EXPECT_EQ(cli::configuration_outcome(operation_result::BUSY), "Device is busy. Please retry");
    EXPECT_EQ(cli::configuration_outcome(operation_result::RESERVED_IP),
              "Error changing network settings. Reserved IP. Please try again with another one.");
    EXPECT_EQ(cli::configuration_outcome(operation_result::NOT_SUPPORTED),
              "Unexpected operation result occured");
    EXPECT_EQ(cli::configuration_outcome(static_cast<operation_result>(42)),
              "Unexpected operation result occured");
}

TEST(CliOutcomes, LocalizeAnswersHaveTheirOwnWords) {
    EXPECT_EQ(cli::localize_outcome(operation_result::NOT_SUPPORTED), "Localize is not supported");
    EXPECT_EQ(cli::localize_outcome(operation_result::NOT_AUTHORIZED), "Not authorized");
    EXPECT_NE(cli::localize_outcome(operation_result::ACCEPTED),
              cli::localize_outcome(operation_result::ERROR));
}

TEST(CliOutcomes, MethodsAndStatesReadAsInTheBrowser) {
    EXPECT_EQ(cli::method_text(sdk::system::network_method_type::PERSISTENT_IP), "PersistentIP");
    EXPECT_EQ(cli::method_text(sdk::system::network_method_type::UNKNOWN), "Unknown");
    EXPECT_EQ(cli::state_text(DeviceAdministrationFbbApi::DeviceState::DeviceState_LOCALIZE),
              "LOCALIZE");
    EXPECT_EQ(cli::state_text(static_cast<DeviceAdministrationFbbApi::DeviceState>(77)), "UNKNOWN");
}

TEST(CliDeviceTable, HasAHeadingAndOneSortedRowPerDevice) {
    const auto text = cli::device_table(
        {device("B200", "S2", "Second", "10.1.0.20"), device("A100", "S1", "First", "10.1.0.10")});
    const auto rows = lines(text);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].rfind("ARTICLE", 0), 0u);
    EXPECT_EQ(rows[1].rfind("A100", 0), 0u);
    EXPECT_EQ(rows[2].rfind("B200", 0), 0u);
    for (const char* column :
         {"10.1.0.10", "255.255.255.0", "10.1.0.1", "DHCP", "WARNING", "lan1"}) {
        EXPECT_NE(rows[1].find(column), std::string::npos) << column;
    }
    // Columns line up: the IP column starts at the same place in every row.
    EXPECT_EQ(rows[0].find("IP "), rows[1].find("10.1.0.10"));
}

TEST(CliDeviceTable, DeviceTextsCannotSendTerminalControls) {
    const auto text =
        cli::device_table({device("A1", "S1", "evil\x1b]0;owned\x07\nname", "10.1.0.9")});
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.find('\x07'), std::string::npos);
    EXPECT_EQ(lines(text).size(), 2u);
    EXPECT_NE(text.find("evil?]0;owned??name"), std::string::npos);
}

TEST(CliDeviceTable, ColumnsLineUpByCharactersForUtf8Names) {
    const auto rows = lines(cli::device_table({device("A1", "S1", "Prüfstand", "10.1.0.9"),
                                               device("A2", "S2", "Abcdefghi", "10.1.0.8")}));
    ASSERT_EQ(rows.size(), 3u);
    const auto ip_at = [](const std::string& row, const std::string& ip) {
        std::size_t chars = 0;
        for (std::size_t i = 0; i < row.find(ip); ++i) {
            chars += (static_cast<unsigned char>(row[i]) & 0xC0) != 0x80 ? 1 : 0;
        }
        return chars;
    };
    EXPECT_EQ(ip_at(rows[1], "10.1.0.9"), ip_at(rows[2], "10.1.0.8"));
}

TEST(CliDeviceJson, CarriesIdentityAddressesAndCard) {
    const auto j =
        nlohmann::json::parse(cli::device_json(device("AB12", "Xy9", "Line", "10.1.0.7")));
    EXPECT_EQ(j["id"], "ab12_xy9");
    EXPECT_EQ(j["articleNumber"], "AB12");
    EXPECT_EQ(j["serialNumber"], "Xy9");
    EXPECT_EQ(j["name"], "Line");
    EXPECT_EQ(j["ip"], "10.1.0.7");
    EXPECT_EQ(j["subnetMask"], "255.255.255.0");
    EXPECT_EQ(j["defaultGateway"], "10.1.0.1");
    EXPECT_EQ(j["networkMethod"], "DHCP");
    EXPECT_EQ(j["deviceState"], "WARNING");
    EXPECT_EQ(j["card"], "lan1");
    EXPECT_EQ(j["cardIp"], "10.1.0.2");
}

TEST(CliDeviceJson, IsOneLineEvenForHostileOrBrokenTexts) {
    const auto text = cli::device_json(device("A1", "S1", "two\nlines \xff\xfe", "10.1.0.7"));
    EXPECT_EQ(text.find('\n'), std::string::npos);
    const auto j = nlohmann::json::parse(text);
    EXPECT_EQ(j["name"].get<std::string>().rfind("two\nlines ", 0), 0u);
}
