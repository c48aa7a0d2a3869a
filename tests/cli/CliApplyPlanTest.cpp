// Reading apply plans and matching their rows to the devices a scan found.

#include <gtest/gtest.h>

#include "apply_plan.h"
#include "apply_preflight.h"
#include "options.h"

using cli::item_status;
using cli::parse_csv_plan;
using cli::parse_json_plan;
using sdk::system::network_method_type;

namespace {

cli::found_device device(const std::string& serial, const std::string& mac, const std::string& ip) {
    cli::found_device d;
    d.answer.set_article_number("ART");
    d.answer.set_serial_number(serial);
    d.answer.set_mac(mac);
    d.answer.set_ip(ip);
    d.answer.set_mask("255.255.255.0");
    d.answer.set_gateway("10.1.0.1");
    d.answer.set_user_defined_name("old-" + serial);
    d.answer.set_network_method(network_method_type::PERSISTENT_IP);
    d.id = cli::device_id(d.answer);
    return d;
}

std::string refusal(const std::string& text, bool json) {
    try {
        json ? parse_json_plan(text) : parse_csv_plan(text);
    } catch (const cli::usage_error& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(CliApplyPlan, CsvWithCommasKeepsEmptyCellsUnset) {
    const auto rows = parse_csv_plan("serialNumber,name,ip\nS1,Press,10.1.0.20\nS2,,\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].number, 1);
    EXPECT_EQ(rows[0].serial_number, "S1");
    EXPECT_EQ(rows[0].name, "Press");
    EXPECT_EQ(rows[0].ip, "10.1.0.20");
    EXPECT_FALSE(rows[0].mask);
    EXPECT_EQ(rows[1].number, 2);
    EXPECT_FALSE(rows[1].name);
    EXPECT_FALSE(rows[1].ip);
}

TEST(CliApplyPlan, CsvWithSemicolonsQuotesAndCrLf) {
    const auto rows =
        parse_csv_plan("id;name;networkMethod\r\nart_s1;\"Line; \"\"3\"\"\";DHCP\r\n\r\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].id, "art_s1");
    EXPECT_EQ(rows[0].name, "Line; \"3\"");
    EXPECT_EQ(rows[0].method, "DHCP");
}

TEST(CliApplyPlan, CsvFromASpreadsheetMayStartWithAByteOrderMark) {
    const auto rows = parse_csv_plan("\xEF\xBB\xBFserialNumber;name\nS1;Press\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].serial_number, "S1");
}

TEST(CliApplyPlan, CsvQuotedCommaStaysInItsCell) {
    const auto rows = parse_csv_plan("mac,name\n00:11:22:33:44:55,\"a,b\"\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "a,b");
}

TEST(CliApplyPlan, JsonArrayOfObjects) {
    const auto rows = parse_json_plan(
        R"([{"serialNumber":"S1","subnetMask":"255.255.0.0","defaultGateway":"0.0.0.0"},)"
        R"( {"mac":"00-11-22-33-44-55","networkMethod":"PersistentIP"}])");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].mask, "255.255.0.0");
    EXPECT_EQ(rows[0].gateway, "0.0.0.0");
    EXPECT_EQ(rows[1].mac, "00-11-22-33-44-55");
    EXPECT_EQ(rows[1].method, "PersistentIP");
}

struct bad_plan {
    const char* text;
    bool json;
    const char* says;
};

class CliApplyPlanRefused : public testing::TestWithParam<bad_plan> {};

TEST_P(CliApplyPlanRefused, WithAClearText) {
    const auto text = refusal(GetParam().text, GetParam().json);
    EXPECT_NE(text.find(GetParam().says), std::string::npos) << "got: " << text;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliApplyPlanRefused,
    testing::Values(bad_plan{"serialNumber,colour\nS1,red\n", false, "unknown column \"colour\""},
                    bad_plan{"[{\"serialNumber\":\"S1\",\"ipAddress\":\"x\"}]", true,
                             "unknown column \"ipAddress\""},
                    bad_plan{"", false, "no header row"},
                    bad_plan{"name,ip\nPress,10.1.0.5\n", false, "plan row 1 names no device"},
                    bad_plan{"id,name\na_1,\"open\n", false, "plan row 1 ends inside quotes"},
                    bad_plan{"id\na_1,extra\n", false, "plan row 1 has 2 cells"},
                    bad_plan{"id,networkMethod\na_1,dhcp\n", false, "DHCP or PersistentIP"},
                    bad_plan{"{\"id\":\"a_1\"}", true, "not a JSON array"},
                    bad_plan{"[1]", true, "plan row 1 is not an object"},
                    bad_plan{"[{\"id\":\"a_1\",\"ip\":5}]", true, "ip is not a string"},
                    bad_plan{"[{\"id\":\"a_1\"},{}]", true, "plan row 2 names no device"}));

TEST(CliApplyMatch, RowsFindTheirDeviceBySerialMacOrId) {
    const std::vector<cli::found_device> found = {device("S1", "00:11:22:33:44:01", "10.1.0.11"),
                                                  device("S2", "00:11:22:33:44:02", "10.1.0.12"),
                                                  device("S3", "00:11:22:33:44:03", "10.1.0.13")};
    const auto items = cli::match_plan(
        parse_csv_plan("serialNumber,mac,id,name\ns1,,,A\n,00-11-22-33-44-02,,B\n,,ART_S3,C\n"),
        found);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].device_id, "art_s1");
    EXPECT_EQ(items[1].device_id, "art_s2");
    EXPECT_EQ(items[2].device_id, "art_s3");
    for (const auto& item : items) {
        EXPECT_EQ(item.status, item_status::pending);
    }
    // Missing cells keep the device's values and its method.
    EXPECT_EQ(items[1].wanted.name, "B");
    EXPECT_EQ(items[1].wanted.ip, "10.1.0.12");
    EXPECT_EQ(items[1].wanted.mask, "255.255.255.0");
    EXPECT_EQ(items[1].wanted.gateway, "10.1.0.1");
    EXPECT_EQ(items[1].wanted.method, network_method_type::PERSISTENT_IP);
}

TEST(CliApplyMatch, UnmatchedAndAmbiguousRowsFailAndAreNotGuessed) {
    auto twin = device("S1", "00:11:22:33:44:99", "10.1.0.19");
    twin.answer.set_article_number("OTHER");
    twin.id = cli::device_id(twin.answer);
    const std::vector<cli::found_device> found = {device("S1", "00:11:22:33:44:01", "10.1.0.11"),
                                                  twin};
    const auto items = cli::match_plan(
        parse_csv_plan("serialNumber,id,name\nS1,,A\nS9,,B\nS1,art_s1,C\nS1,other_s2,D\n"), found);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].status, item_status::failed);
    EXPECT_EQ(items[0].message, "Matches several devices: art_s1, other_s1");
    EXPECT_TRUE(items[0].device_id.empty());
    EXPECT_EQ(items[1].message, "Device is not available");
    // Every key a row gives must hold.
    EXPECT_EQ(items[2].device_id, "art_s1");
    EXPECT_EQ(items[3].message, "Device is not available");
}

TEST(CliApplyMatch, AddressesMeanPersistentUnlessTheRowSaysDhcp) {
    auto dhcp = device("S1", "00:11:22:33:44:01", "10.1.0.11");
    dhcp.answer.set_network_method(network_method_type::DHCP);
    const auto items = cli::match_plan(
        parse_csv_plan("id,ip,networkMethod\nart_s1,10.1.0.50,\nart_s1,,\nart_s1,,DHCP\n"), {dhcp});
    EXPECT_EQ(items[0].wanted.method, network_method_type::PERSISTENT_IP);
    EXPECT_EQ(items[1].wanted.method, network_method_type::DHCP);
    EXPECT_EQ(items[2].wanted.method, network_method_type::DHCP);
}
