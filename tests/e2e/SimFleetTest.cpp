// The simulator's fleet: generation from a seed and the JSON fleet file.

#include <gtest/gtest.h>

#include <set>

#include "fleet_file.h"
#include "ipv4.h"

using namespace sim;

namespace {

fleet_plan plan_of(int count, const char* subnet = "10.10.1.0/24",
                   const char* start = "10.10.1.10") {
    fleet_plan s;
    s.count = count;
    s.subnet = *ipv4::parse_cidr(subnet);
    s.start = *ipv4::parse(start);
    return s;
}

}  // namespace

TEST(FleetGenerator, SameSeedGivesSameFleetAndOtherSeedAnother) {
    auto a = generate_fleet(plan_of(20));
    auto b = generate_fleet(plan_of(20));
    EXPECT_EQ(write_fleet(a), write_fleet(b));
    auto other = plan_of(20);
    other.seed = 2;
    EXPECT_NE(write_fleet(a), write_fleet(generate_fleet(other)));
}

TEST(FleetGenerator, IdentitiesAreUniqueAcrossALargeFleet) {
    auto fleet = generate_fleet(plan_of(5000, "10.20.0.0/16", "10.20.0.10"));
    ASSERT_EQ(fleet.size(), 5000u);
    std::set<std::string> ids;
    std::set<std::string> ips;
    std::set<std::string> macs;
    for (const auto& d : fleet) {
        ids.insert(d.article_number + "_" + d.serial_number);
        ips.insert(d.ip);
        macs.insert(d.mac);
    }
    EXPECT_EQ(ids.size(), 5000u);
    EXPECT_EQ(ips.size(), 5000u);
    EXPECT_EQ(macs.size(), 5000u);
}

TEST(FleetGenerator, AddressesAreUsableHostsOfTheSubnetFromTheStart) {
    auto subnet = *ipv4::parse_cidr("10.10.1.0/28");  // hosts .1 to .14
    auto fleet = generate_fleet(plan_of(12, "10.10.1.0/28", "10.10.1.3"));
    ASSERT_EQ(fleet.size(), 12u);
    for (const auto& d : fleet) {
        auto ip = *ipv4::parse(d.ip);
        EXPECT_TRUE(subnet.contains(ip)) << d.ip;
        EXPECT_GE(ip, *ipv4::parse("10.10.1.3")) << d.ip;
        EXPECT_NE(ip, subnet.broadcast()) << d.ip;
        EXPECT_EQ(d.mask, "255.255.255.240");
        EXPECT_EQ(d.url(), "http://" + d.ip + "/");
    }
}

TEST(FleetGenerator, TooSmallASubnetIsRefusedWithTheNumbers) {
    try {
        generate_fleet(plan_of(13, "10.10.1.0/28", "10.10.1.3"));
        FAIL() << "expected a fleet_error";
    } catch (const fleet_error& e) {
        EXPECT_NE(std::string(e.what()).find("12 free host addresses"), std::string::npos)
            << e.what();
    }
}

TEST(FleetGenerator, EachCharacterGoesToItsOwnDevice) {
    auto s = plan_of(12);
    s.outside = 1;
    s.with_credentials = 1;
    s.flapping = 1;
    s.busy = 1;
    auto fleet = generate_fleet(s);
    auto subnet = s.subnet;
    int outside = 0, credentials = 0, flapping = 0, busy = 0, characters = 0;
    for (const auto& d : fleet) {
        bool is_outside = !subnet.contains(*ipv4::parse(d.ip));
        outside += is_outside;
        credentials += d.authentication;
        flapping += d.flap.period_s > 0;
        busy += d.busy;
        characters += (is_outside + d.authentication + (d.flap.period_s > 0) + d.busy) > 0;
        if (d.authentication) {
            EXPECT_EQ(d.username, generated_username);
            EXPECT_EQ(d.password, generated_password);
        }
        if (d.flap.period_s > 0) {
            EXPECT_EQ(d.flap.period_s, 20);
            EXPECT_EQ(d.flap.silent_s, 6);
        }
    }
    EXPECT_EQ(outside, 1);
    EXPECT_EQ(credentials, 1);
    EXPECT_EQ(flapping, 1);
    EXPECT_EQ(busy, 1);
    EXPECT_EQ(characters, 4);
}

TEST(FleetGenerator, DevicesOutsideDoNotShareTheCardsSubnet) {
    auto s = plan_of(10, "192.168.250.0/24", "192.168.250.10");
    s.outside = 3;
    auto fleet = generate_fleet(s);
    int outside = 0;
    for (const auto& d : fleet) {
        if (!s.subnet.contains(*ipv4::parse(d.ip))) {
            ++outside;
            auto own = *ipv4::parse_cidr(d.ip + "/" + d.mask);
            EXPECT_FALSE(own.contains(s.subnet.network())) << d.ip;
        }
    }
    EXPECT_EQ(outside, 3);
}

TEST(FleetFile, WrittenFleetReadsBackUnchanged) {
    auto s = plan_of(30);
    s.with_credentials = 2;
    s.flapping = 2;
    s.busy = 1;
    s.deaf = 1;
    auto fleet = generate_fleet(s);
    auto text = write_fleet(fleet);
    EXPECT_NE(text.find("\"deaf\": true"), std::string::npos);
    EXPECT_EQ(write_fleet(parse_fleet(text)), text);
}

TEST(FleetFile, MinimalDeviceTakesDefaults) {
    auto fleet =
        parse_fleet(R"({"devices":[{"articleNumber":"A1","serialNumber":"S1","ip":"10.1.1.5"}]})");
    ASSERT_EQ(fleet.size(), 1u);
    EXPECT_EQ(fleet[0].mask, "255.255.255.0");
    EXPECT_EQ(fleet[0].gateway, "0.0.0.0");
    EXPECT_EQ(fleet[0].state, "ACTIVE");
    EXPECT_FALSE(fleet[0].authentication);
    EXPECT_EQ(fleet[0].capabilities, 11u);
}

TEST(FleetFile, CredentialsImplyAuthentication) {
    auto fleet = parse_fleet(
        R"([{"articleNumber":"A1","serialNumber":"S1","ip":"10.1.1.5","username":"u","password":"p"}])");
    ASSERT_EQ(fleet.size(), 1u);
    EXPECT_TRUE(fleet[0].authentication);
}

struct bad_fleet {
    const char* json;
    const char* message_part;
};

class FleetFileRejects : public ::testing::TestWithParam<bad_fleet> {};

TEST_P(FleetFileRejects, MalformedInputWithAMessageNamingIt) {
    try {
        parse_fleet(GetParam().json);
        FAIL() << "accepted " << GetParam().json;
    } catch (const fleet_error& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().message_part), std::string::npos)
            << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FleetFileRejects,
    ::testing::Values(
        bad_fleet{"{", "not valid JSON"}, bad_fleet{R"({"list":[]})", "\"devices\""},
        bad_fleet{R"([{"serialNumber":"S","ip":"10.0.0.1"}])", "\"articleNumber\" is missing"},
        bad_fleet{R"([{"articleNumber":"A","serialNumber":"S"}])", "\"ip\" is missing"},
        bad_fleet{R"([{"articleNumber":"A","serialNumber":"S","ip":"10.0.0.256"}])",
                  "\"ip\" is not"},
        bad_fleet{
            R"([{"articleNumber":"A","serialNumber":"S","ip":"10.0.0.1","mask":"255.0.255.0"}])",
            "contiguous"},
        bad_fleet{R"([{"articleNumber":"A","serialNumber":"S","ip":"10.0.0.1","mac":"00:11"}])",
                  "\"mac\""},
        bad_fleet{R"([{"articleNumber":"A","serialNumber":"S","ip":"10.0.0.1","method":"dhcp"}])",
                  "\"method\""},
        bad_fleet{R"([{"articleNumber":"A","serialNumber":"S","ip":"10.0.0.1","state":"FINE"}])",
                  "\"state\""},
        bad_fleet{R"([{"articleNumber":"A","serialNumber":"S","ip":"10.0.0.1","capabilities":-1}])",
                  "\"capabilities\" must be a whole number"},
        bad_fleet{R"([{"articleNumber":"A","serialNumber":"S","ip":"10.0.0.1","info":[1]}])",
                  "\"info\""},
        bad_fleet{
            R"([{"articleNumber":"A","serialNumber":"S","ip":"10.0.0.1","flap":{"periodS":5,"silentS":5}}])",
            "silentS < periodS"},
        bad_fleet{R"([{"articleNumber":"A","serialNumber":"S","ip":"10.0.0.1"},
                      {"articleNumber":"A","serialNumber":"S","ip":"10.0.0.2"}])",
                  "appears twice"}));
