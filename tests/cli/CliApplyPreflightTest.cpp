// The checks that keep an apply row from being sent.

#include <gtest/gtest.h>

#include "apply_plan.h"
#include "apply_preflight.h"
#include "ipv4text/ipv4_text.h"

using cli::item_status;
using sdk::system::network_method_type;

namespace {

cli::found_device device(const std::string& serial, const std::string& ip) {
    cli::found_device d;
    d.answer.set_article_number("ART");
    d.answer.set_serial_number(serial);
    d.answer.set_ip(ip);
    d.answer.set_mask("255.255.255.0");
    d.answer.set_gateway("10.1.0.1");
    d.answer.set_network_method(network_method_type::PERSISTENT_IP);
    d.id = cli::device_id(d.answer);
    return d;
}

const std::vector<cli::found_device>& fleet() {
    static const std::vector<cli::found_device> devices = {
        device("S1", "10.1.0.11"), device("S2", "10.1.0.12"), device("S3", "10.1.0.13")};
    return devices;
}

std::vector<cli::apply_item> checked(const std::string& csv) {
    auto items = cli::match_plan(cli::parse_csv_plan(csv), fleet());
    cli::preflight(items, fleet());
    return items;
}

}  // namespace

struct host_case {
    const char* ip;
    const char* mask;
    const char* gateway;
    bool valid;
};

class CliValidHost : public testing::TestWithParam<host_case> {};

TEST_P(CliValidHost, AddressMaskAndGatewayFormOneSubnet) {
    const auto& c = GetParam();
    EXPECT_EQ(ipv4text::is_valid_host(c.ip, c.mask, c.gateway), c.valid)
        << c.ip << " " << c.mask << " " << c.gateway;
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, CliValidHost,
    testing::Values(host_case{"10.1.0.20", "255.255.255.0", "10.1.0.1", true},
                    host_case{"10.1.0.20", "255.255.255.0", "0.0.0.0", true},
                    host_case{"10.1.0.1", "255.255.255.0", "0.0.0.0", true},
                    host_case{"10.1.0.254", "255.255.255.0", "10.1.0.1", true},
                    host_case{"10.1.0.0", "255.255.255.0", "10.1.0.1", false},
                    host_case{"10.1.0.255", "255.255.255.0", "10.1.0.1", false},
                    host_case{"10.1.0.20", "255.255.255.0", "10.1.1.1", false},
                    host_case{"10.1.0.20", "255.255.255.0", "10.1.0.20", false},
                    host_case{"10.1.0.20", "255.255.255.0", "10.1.0.255", false},
                    host_case{"10.1.0.20", "255.0.255.0", "10.1.0.1", false},
                    host_case{"10.1.0.20", "0.0.0.0", "0.0.0.0", false},
                    // A point-to-point /31 has no network or broadcast address to avoid.
                    host_case{"10.1.0.20", "255.255.255.254", "0.0.0.0", true},
                    host_case{"10.1.0.1", "255.255.255.252", "10.1.0.2", true},
                    host_case{"10.1.0.3", "255.255.255.252", "10.1.0.2", false},
                    host_case{"10.1.1.20", "255.255.254.0", "10.1.0.1", true},
                    host_case{"127.0.0.5", "255.0.0.0", "0.0.0.0", false},
                    host_case{"224.0.0.5", "255.255.255.0", "0.0.0.0", false},
                    host_case{"10.1.0.020", "255.255.255.0", "0.0.0.0", false},
                    host_case{"10.1.0", "255.255.255.0", "0.0.0.0", false}));

TEST(CliApplyPreflight, EachReasonFailsOnlyItsRow) {
    const auto items = checked(
        "id,ip,subnetMask,defaultGateway\n"
        "art_s1,10.1.0.255,,\n"         // broadcast address
        "art_s2,10.1.0.13,,\n"          // S3's current address
        "art_s3,10.1.0.40,,10.2.0.1\n"  // gateway off the subnet
        "art_s9,10.1.0.41,,\n");        // no such device
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].message, "Invalid address");
    EXPECT_EQ(items[1].message, "Address in use by art_s3");
    EXPECT_EQ(items[2].message, "Invalid address");
    EXPECT_EQ(items[3].message, "Device is not available");
    for (const auto& item : items) {
        EXPECT_EQ(item.status, item_status::failed);
    }
}

TEST(CliApplyPreflight, AnAddressPlannedTwiceFailsBothRows) {
    const auto items = checked("id,ip\nart_s1,10.1.0.50\nart_s2,10.1.0.50\nart_s3,10.1.0.51\n");
    EXPECT_EQ(items[0].message, "Address planned twice");
    EXPECT_EQ(items[1].message, "Address planned twice");
    EXPECT_EQ(items[2].status, item_status::pending);
    EXPECT_TRUE(items[2].message.empty());
}

TEST(CliApplyPreflight, TwoRowsForOneDeviceFailBoth) {
    const auto items = checked("id,name\nart_s1,A\nART_S1,B\nart_s2,C\n");
    EXPECT_EQ(items[0].message, "Device planned twice");
    EXPECT_EQ(items[1].message, "Device planned twice");
    EXPECT_EQ(items[2].status, item_status::pending);
}

TEST(CliApplyPreflight, AnAddressInUseIsRefusedEvenWhenItsOwnerMovesAway) {
    const auto items = checked("id,ip\nart_s1,10.1.0.12\nart_s2,10.1.0.60\n");
    EXPECT_EQ(items[0].message, "Address in use by art_s2");
    EXPECT_EQ(items[1].status, item_status::pending);
}

TEST(CliApplyPreflight, DhcpAndKeptAddressesSkipTheAddressChecks) {
    // Each row would fail an address check if it were made.
    const auto items = checked(
        "id,ip,networkMethod,name\n"
        "art_s1,10.1.0.12,DHCP,\n"
        "art_s2,10.1.0.12,,Renamed\n"
        "art_s3,,,Other\n");
    for (const auto& item : items) {
        EXPECT_EQ(item.status, item_status::pending) << item.row.number << ": " << item.message;
    }
}

TEST(CliApplyPreflight, StatusTexts) {
    EXPECT_EQ(cli::status_text(item_status::done), "done");
    EXPECT_EQ(cli::status_text(item_status::failed), "failed");
    EXPECT_EQ(cli::status_text(item_status::cancelled), "cancelled");
}
