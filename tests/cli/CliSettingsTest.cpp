// Which settings a set command sends, and when the device shows them.

#include <gtest/gtest.h>

#include "settings_plan.h"

using sdk::system::network_method_type;

namespace {

dp::discovery_response current(network_method_type method) {
    dp::discovery_response now;
    now.set_ip("10.1.0.10");
    now.set_mask("255.255.255.0");
    now.set_gateway("10.1.0.1");
    now.set_user_defined_name("Press");
    now.set_network_method(method);
    return now;
}

cli::options with(const std::vector<std::string>& args) {
    std::vector<std::string> line = {"set", "a_1"};
    line.insert(line.end(), args.begin(), args.end());
    return cli::parse_options(line);
}

}  // namespace

TEST(CliSettings, ANameAloneKeepsAddressesAndMethodAndNeedsNoRestart) {
    const auto now = current(network_method_type::DHCP);
    const auto w = cli::settings_for(with({"--name", "Filler"}), now);
    EXPECT_EQ(w.ip, "10.1.0.10");
    EXPECT_EQ(w.mask, "255.255.255.0");
    EXPECT_EQ(w.gateway, "10.1.0.1");
    EXPECT_EQ(w.name, "Filler");
    EXPECT_EQ(w.method, network_method_type::DHCP);
    EXPECT_FALSE(cli::changes_network(w, now));
}

TEST(CliSettings, AGivenAddressMeansAPersistentAddress) {
    const auto now = current(network_method_type::DHCP);
    const auto w = cli::settings_for(with({"--ip", "10.1.0.99"}), now);
    EXPECT_EQ(w.ip, "10.1.0.99");
    EXPECT_EQ(w.mask, "255.255.255.0");
    EXPECT_EQ(w.name, "Press");
    EXPECT_EQ(w.method, network_method_type::PERSISTENT_IP);
    EXPECT_TRUE(cli::changes_network(w, now));
}

TEST(CliSettings, DhcpCarriesTheCurrentDottedAddresses) {
    const auto now = current(network_method_type::PERSISTENT_IP);
    const auto w = cli::settings_for(with({"--dhcp"}), now);
    EXPECT_EQ(w.method, network_method_type::DHCP);
    EXPECT_EQ(w.ip, "10.1.0.10");
    EXPECT_EQ(w.mask, "255.255.255.0");
    EXPECT_EQ(w.gateway, "10.1.0.1");
    EXPECT_TRUE(cli::changes_network(w, now));
}

TEST(CliSettings, StaticOnAPersistentDeviceChangesNothing) {
    const auto now = current(network_method_type::PERSISTENT_IP);
    EXPECT_FALSE(cli::changes_network(cli::settings_for(with({"--static"}), now), now));
}

TEST(CliSettings, TheNewAddressShowsOnlyWhenEverythingMatches) {
    const auto now = current(network_method_type::PERSISTENT_IP);
    const auto w = cli::settings_for(with({"--ip", "10.1.0.99", "--name", "New"}), now);
    EXPECT_FALSE(cli::shows(w, now));
    auto back = now;
    back.set_ip("10.1.0.99");
    EXPECT_FALSE(cli::shows(w, back));
    back.set_user_defined_name("New");
    EXPECT_TRUE(cli::shows(w, back));
}

TEST(CliSettings, UnderDhcpAnyAddressCounts) {
    const auto now = current(network_method_type::PERSISTENT_IP);
    const auto w = cli::settings_for(with({"--dhcp"}), now);
    auto back = now;
    back.set_ip("10.1.0.150");
    EXPECT_FALSE(cli::shows(w, back));
    back.set_network_method(network_method_type::DHCP);
    EXPECT_TRUE(cli::shows(w, back));
}
