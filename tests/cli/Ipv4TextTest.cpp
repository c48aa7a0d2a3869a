#include <gtest/gtest.h>

#include <beacon/configuration_request.h>

#include <stdexcept>
#include <string>

#include "ipv4.h"
#include "ipv4text/ipv4_text.h"
#include "options.h"

namespace {

// What each reader of an address text makes of it. The library keeps the
// protocol's rule, which lets zero-padded parts through; the program, the
// CLI and the simulator share the strict one.
struct address_text {
    std::string text;
    bool address;          // the shared rule: the program, the CLI, the simulator
    bool library_accepts;  // the library's setters
};

bool library_accepts(const std::string& text) {
    try {
        dp::configuration_request().set_ip(text);
        return true;
    } catch (const std::invalid_argument&) {
        return false;
    }
}

bool cli_accepts(const std::string& text) {
    try {
        cli::parse_options({"set", "a_1", "--ip", text});
        return true;
    } catch (const cli::usage_error&) {
        return false;
    }
}

class AddressTexts : public ::testing::TestWithParam<address_text> {};

TEST_P(AddressTexts, EveryReaderKeepsItsOwnRule) {
    const auto& row = GetParam();
    EXPECT_EQ(ipv4text::parse(row.text).has_value(), row.address) << row.text;
    EXPECT_EQ(sim::ipv4::parse(row.text).has_value(), row.address) << row.text;
    EXPECT_EQ(cli_accepts(row.text), row.address) << row.text;
    EXPECT_EQ(library_accepts(row.text), row.library_accepts) << row.text;
}

INSTANTIATE_TEST_SUITE_P(
    Ipv4Text, AddressTexts,
    ::testing::Values(
        address_text{"0.0.0.0", true, true}, address_text{"255.255.255.255", true, true},
        address_text{"10.77.1.200", true, true}, address_text{"", false, false},
        address_text{"1.2.3", false, false}, address_text{"1.2.3.4.", false, false},
        address_text{".1.2.3", false, false}, address_text{"1..2.3", false, false},
        address_text{"256.1.1.1", false, false}, address_text{"1.2.3.1000", false, false},
        address_text{"01.002.3.4", false, true}, address_text{"192.168.000.020", false, true},
        address_text{"1.2.3.4 ", false, false}, address_text{" 1.2.3.4", false, false},
        address_text{"+1.2.3.4", false, false}, address_text{"1.2.3.4/24", false, false},
        address_text{"0x1.2.3.4", false, false},
        address_text{std::string("1.2.3.4\0"
                                 "9",
                                 9),
                     false, false}));

TEST(Ipv4Text, FormatWritesWhatParseReads) {
    EXPECT_EQ(ipv4text::format(0x0a4d01c8u), "10.77.1.200");
    EXPECT_EQ(ipv4text::parse(ipv4text::format(0xffffffffu)), 0xffffffffu);
    EXPECT_EQ(ipv4text::format(0), "0.0.0.0");
    EXPECT_EQ(ipv4text::format(0x6409630au), "100.9.99.10");
    EXPECT_EQ(ipv4text::format(0xffffffffu), "255.255.255.255");
}

}  // namespace
