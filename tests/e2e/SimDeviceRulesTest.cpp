// How a simulated device answers configuration and localize requests, and
// when it is silent. Time is passed in, so nothing here waits.

#include <gtest/gtest.h>

#include "device_fleet.h"
#include "options.h"

using namespace sim;
using sdk::system::network_method_type;
using sdk::system::operation_result;
using namespace std::chrono_literals;

namespace {

device_profile camera() {
    device_profile d;
    d.article_number = "2086712";
    d.serial_number = "23151234";
    d.ip = "10.10.1.20";
    d.mask = "255.255.255.0";
    d.gateway = "10.10.1.1";
    d.name = "Infeed camera";
    d.capabilities = 11;
    return d;
}

device_profile locked() {
    device_profile d = camera();
    d.serial_number = "23159999";
    d.authentication = true;
    d.username = "admin";
    d.password = "vostrel";
    return d;
}

device_profile bare_sensor() {
    device_profile d = camera();
    d.serial_number = "23150001";
    d.capabilities = 2;  // persistent address only, no localize
    return d;
}

configuration_change change_of(const device_profile& d) {
    return {d.article_number, d.serial_number, d.name, d.ip, d.mask, d.gateway, d.method, "", ""};
}

class DeviceRules : public ::testing::Test {
protected:
    sim_clock::time_point t0 = sim_clock::time_point{} + 1h;
    device_fleet fleet{{camera(), locked(), bare_sensor()}, {5000ms, 3000ms}, t0};

    std::vector<std::string> responding_serials(sim_clock::time_point now) {
        std::vector<std::string> out;
        for (const auto& d : fleet.responders(now)) {
            out.push_back(d.serial_number);
        }
        return out;
    }
};

}  // namespace

TEST_F(DeviceRules, EveryDeviceAnswersDiscoveryInFleetOrder) {
    EXPECT_EQ(responding_serials(t0),
              (std::vector<std::string>{"23151234", "23159999", "23150001"}));
}

TEST_F(DeviceRules, UnknownIdentityGetsNoAnswer) {
    auto c = change_of(camera());
    c.serial_number = "nope";
    EXPECT_FALSE(fleet.configure(c, t0));
    EXPECT_FALSE(fleet.localize("2086712", "nope", "", "", t0));
}

TEST_F(DeviceRules, IdentityIsMatchedExactly) {
    auto c = change_of(camera());
    c.article_number = " 2086712";
    EXPECT_FALSE(fleet.configure(c, t0));
}

TEST_F(DeviceRules, NameOnlyChangeIsTakenAtOnceWithoutSilence) {
    auto c = change_of(camera());
    c.name = "Outfeed camera";
    EXPECT_EQ(fleet.configure(c, t0), operation_result::ACCEPTED);
    auto now = fleet.responders(t0 + 1ms);
    ASSERT_EQ(now.size(), 3u);
    EXPECT_EQ(now[0].name, "Outfeed camera");
}

TEST_F(DeviceRules, NetworkChangeIsAcceptedThenSilentForTheRebootThenNew) {
    auto c = change_of(camera());
    c.ip = "10.10.1.77";
    c.name = "Moved";
    EXPECT_EQ(fleet.configure(c, t0), operation_result::ACCEPTED);
    EXPECT_EQ(responding_serials(t0 + 4999ms), (std::vector<std::string>{"23159999", "23150001"}));
    // Requests to a rebooting device go unanswered.
    EXPECT_FALSE(fleet.configure(c, t0 + 1s));
    auto back = fleet.responders(t0 + 5000ms);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].ip, "10.10.1.77");
    EXPECT_EQ(back[0].name, "Moved");
    EXPECT_EQ(back[0].url(), "http://10.10.1.77/");
}

TEST_F(DeviceRules, SwitchToDhcpKeepsAUsableGivenAddress) {
    auto c = change_of(camera());
    c.method = network_method_type::DHCP;
    c.ip = "10.10.1.88";
    EXPECT_EQ(fleet.configure(c, t0), operation_result::ACCEPTED);
    auto back = fleet.responders(t0 + 6s);
    EXPECT_EQ(back[0].method, network_method_type::DHCP);
    EXPECT_EQ(back[0].ip, "10.10.1.88");
}

TEST_F(DeviceRules, SwitchToDhcpWithUnusableAddressKeepsTheOldOne) {
    auto c = change_of(camera());
    c.method = network_method_type::DHCP;
    c.ip = "0.0.0.0";
    EXPECT_EQ(fleet.configure(c, t0), operation_result::ACCEPTED);
    EXPECT_EQ(fleet.responders(t0 + 6s)[0].ip, "10.10.1.20");
}

TEST_F(DeviceRules, WrongCredentialsAreNotAuthorizedAndChangeNothing) {
    auto c = change_of(locked());
    c.name = "Renamed";
    c.username = "admin";
    c.password = "wrong";
    EXPECT_EQ(fleet.configure(c, t0), operation_result::NOT_AUTHORIZED);
    EXPECT_EQ(fleet.find(c.article_number, c.serial_number)->name, "Infeed camera");
    c.password = "vostrel";
    EXPECT_EQ(fleet.configure(c, t0), operation_result::ACCEPTED);
    EXPECT_EQ(fleet.find(c.article_number, c.serial_number)->name, "Renamed");
}

TEST_F(DeviceRules, DevicesWithoutCredentialsAcceptAnyCredentials) {
    auto c = change_of(camera());
    c.username = "whoever";
    c.password = "whatever";
    EXPECT_EQ(fleet.configure(c, t0), operation_result::ACCEPTED);
}

TEST_F(DeviceRules, NameWithControlCharactersOrTooLongIsRefused) {
    auto c = change_of(camera());
    c.name = "bad\nname";
    EXPECT_EQ(fleet.configure(c, t0), operation_result::INVALID_USER_NAME);
    c.name = std::string(65, 'x');
    EXPECT_EQ(fleet.configure(c, t0), operation_result::INVALID_USER_NAME);
    c.name = std::string(64, 'x');
    EXPECT_EQ(fleet.configure(c, t0), operation_result::ACCEPTED);
}

TEST_F(DeviceRules, LocalizeShowsStateLocalizeForItsTime) {
    EXPECT_EQ(fleet.localize("2086712", "23151234", "", "", t0), operation_result::ACCEPTED);
    EXPECT_EQ(fleet.responders(t0 + 2999ms)[0].state, "LOCALIZE");
    EXPECT_EQ(fleet.responders(t0 + 3000ms)[0].state, "ACTIVE");
}

TEST_F(DeviceRules, LocalizeWithoutTheCapabilityIsNotSupported) {
    EXPECT_EQ(fleet.localize("2086712", "23150001", "", "", t0), operation_result::NOT_SUPPORTED);
}

TEST_F(DeviceRules, LocalizeChecksCredentialsBeforeAnythingElse) {
    EXPECT_EQ(fleet.localize("2086712", "23159999", "admin", "x", t0),
              operation_result::NOT_AUTHORIZED);
    EXPECT_EQ(fleet.localize("2086712", "23159999", "admin", "vostrel", t0),
              operation_result::ACCEPTED);
}

TEST(DeviceBusy, BusyDeviceAnswersBusyToEverything) {
    auto d = camera();
    d.busy = true;
    auto t0 = sim_clock::now();
    device_fleet fleet({d}, {}, t0);
    EXPECT_EQ(fleet.configure(change_of(d), t0), operation_result::BUSY);
    EXPECT_EQ(fleet.localize(d.article_number, d.serial_number, "", "", t0),
              operation_result::BUSY);
    EXPECT_EQ(fleet.responders(t0).size(), 1u);
}

TEST(DeviceDeaf, DeafDeviceIsFoundButAnswersNoRequest) {
    auto d = camera();
    d.deaf = true;
    auto t0 = sim_clock::now();
    device_fleet fleet({d}, {}, t0);
    auto rename = change_of(d);
    rename.name = "Renamed";
    EXPECT_EQ(fleet.configure(rename, t0), std::nullopt);
    EXPECT_EQ(fleet.localize(d.article_number, d.serial_number, "", "", t0), std::nullopt);
    EXPECT_EQ(fleet.responders(t0).size(), 1u);
    EXPECT_EQ(fleet.find(d.article_number, d.serial_number)->name, d.name) << "nothing taken";
}

TEST(DeviceFlapping, SilentForItsShareOfEveryPeriod) {
    auto d = camera();
    d.flap = {10, 3, 0};
    auto t0 = sim_clock::time_point{} + 1h;
    device_fleet fleet({d}, {}, t0);
    EXPECT_EQ(fleet.responders(t0 + 6999ms).size(), 1u);
    EXPECT_EQ(fleet.responders(t0 + 7000ms).size(), 0u);
    EXPECT_EQ(fleet.responders(t0 + 9999ms).size(), 0u);
    EXPECT_EQ(fleet.responders(t0 + 10000ms).size(), 1u);
    EXPECT_EQ(fleet.responders(t0 + 17500ms).size(), 0u);
    // Silent devices do not answer requests either.
    EXPECT_FALSE(fleet.configure(change_of(d), t0 + 8s));
}

struct network_case {
    const char* ip;
    const char* mask;
    const char* gateway;
    network_method_type method;
    operation_result expected;
};

class NetworkSettings : public ::testing::TestWithParam<network_case> {};

TEST_P(NetworkSettings, AreCheckedLikeADeviceDoes) {
    const auto& p = GetParam();
    configuration_change c{"A", "S", "n", p.ip, p.mask, p.gateway, p.method, "", ""};
    EXPECT_EQ(check_network_settings(camera(), c), p.expected)
        << p.ip << " " << p.mask << " " << p.gateway;
}

constexpr auto fixed = network_method_type::PERSISTENT_IP;
constexpr auto dhcp = network_method_type::DHCP;
constexpr auto ok = operation_result::ACCEPTED;
constexpr auto reserved = operation_result::RESERVED_IP;
constexpr auto invalid = operation_result::INVALID_NETWORK_CONFIG;

INSTANTIATE_TEST_SUITE_P(
    Table, NetworkSettings,
    ::testing::Values(network_case{"10.10.1.30", "255.255.255.0", "10.10.1.1", fixed, ok},
                      network_case{"10.10.1.30", "255.255.255.0", "0.0.0.0", fixed, ok},
                      network_case{"0.0.0.0", "255.255.255.0", "0.0.0.0", fixed, reserved},
                      network_case{"255.255.255.255", "255.255.255.0", "0.0.0.0", fixed, reserved},
                      network_case{"127.0.0.5", "255.0.0.0", "0.0.0.0", fixed, reserved},
                      network_case{"224.0.0.1", "255.255.255.0", "0.0.0.0", fixed, reserved},
                      network_case{"169.254.3.4", "255.255.0.0", "0.0.0.0", fixed, reserved},
                      network_case{"10.10.1.0", "255.255.255.0", "0.0.0.0", fixed, reserved},
                      network_case{"10.10.1.255", "255.255.255.0", "0.0.0.0", fixed, reserved},
                      network_case{"10.10.1.30", "255.0.255.0", "0.0.0.0", fixed, invalid},
                      network_case{"10.10.1.30", "0.0.0.0", "0.0.0.0", fixed, invalid},
                      network_case{"10.10.1.30", "255.255.255.255", "0.0.0.0", fixed, invalid},
                      network_case{"10.10.1.30", "255.255.255.0", "10.10.2.1", fixed, invalid},
                      network_case{"10.10.1.30", "255.255.255.0", "10.10.1.30", fixed, invalid},
                      network_case{"10.10.1.30", "255.255.255.0", "10.10.1.255", fixed, invalid},
                      network_case{"10.10.1", "255.255.255.0", "0.0.0.0", fixed, invalid},
                      network_case{"10.10.1.30", "255.255.255.0", "0.0.0.0",
                                   network_method_type::UNKNOWN, invalid},
                      network_case{"0.0.0.0", "0.0.0.0", "0.0.0.0", dhcp, ok}));

TEST(NetworkSettingsCapability, MethodTheDeviceCannotDoIsInvalid) {
    configuration_change c{"A", "S", "n", "10.10.1.30", "255.255.255.0", "0.0.0.0", dhcp, "", ""};
    EXPECT_EQ(check_network_settings(bare_sensor(), c), invalid);
    c.method = fixed;
    EXPECT_EQ(check_network_settings(bare_sensor(), c), ok);
}

TEST(SimOptions, GeneratorAndBehaviourOptionsAreRead) {
    auto o = parse_options({"--card", "10.10.1.2/24", "--count", "40", "--seed", "7", "--jitter",
                            "50", "--loss", "0.25", "--reboot-time", "1.5", "--duration", "30"});
    EXPECT_EQ(o.cards, std::vector<std::string>{"10.10.1.2/24"});
    EXPECT_EQ(o.plan.count, 40);
    EXPECT_EQ(o.plan.seed, 7u);
    EXPECT_EQ(o.jitter_ms, 50);
    EXPECT_DOUBLE_EQ(o.loss, 0.25);
    EXPECT_EQ(o.timing.reboot_time, 1500ms);
    EXPECT_DOUBLE_EQ(o.duration_s, 30);
}

TEST(SimOptions, MistakesAreRefusedWithTheOptionNamed) {
    auto message = [](std::vector<std::string> args) {
        try {
            parse_options(args);
        } catch (const usage_error& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_NE(message({"--count", "10"}).find("--card"), std::string::npos);
    EXPECT_NE(message({"--card", "10.10.1.2"}).find("--card"), std::string::npos);
    EXPECT_NE(message({"--card", "10.0.0.2/8", "--loss", "1.5"}).find("--loss"), std::string::npos);
    EXPECT_NE(message({"--card", "10.0.0.2/8", "--count"}).find("needs a value"),
              std::string::npos);
    EXPECT_NE(message({"--card", "10.0.0.2/8", "--frobnicate"}).find("unknown option"),
              std::string::npos);
    EXPECT_NE(message({"--card", "10.0.0.2/8", "--flap-period", "5", "--flap-silent", "5"})
                  .find("shorter"),
              std::string::npos);
    EXPECT_NE(
        message({"--card", "10.0.0.2/8", "--fleet", "f.json", "--outside", "1"}).find("--fleet"),
        std::string::npos);
}
