// The command line: what is accepted, and what is refused before anything
// touches the network.

#include <gtest/gtest.h>

#include <sstream>

#include "options.h"
#include "password.h"

using cli::command;
using cli::method_choice;
using cli::parse_options;
using cli::usage_error;

namespace {

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

// The usage error's text, or "" when the line was accepted.
std::string refusal(const std::string& line) {
    try {
        parse_options(words(line));
    } catch (const usage_error& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(CliOptions, ScanTakesTimeoutJsonAndInterface) {
    const auto o = parse_options(words("scan --timeout 1.5 --json --interface lan1"));
    EXPECT_EQ(o.what, command::scan);
    EXPECT_DOUBLE_EQ(o.timeout_s, 1.5);
    EXPECT_TRUE(o.json);
    EXPECT_EQ(o.interface_name, "lan1");
}

TEST(CliOptions, OptionsMayComeBeforeTheCommandAndWithEquals) {
    const auto o = parse_options(words("--interface=lan2 --timeout=2 localize ABC_X1"));
    EXPECT_EQ(o.what, command::localize);
    EXPECT_EQ(o.interface_name, "lan2");
    EXPECT_DOUBLE_EQ(o.timeout_s, 2.0);
}

TEST(CliOptions, DeviceIdIsLowerCased) {
    const auto o = parse_options(words("localize ABC-12_Xy99"));
    EXPECT_EQ(o.device_id, "abc-12_xy99");
}

TEST(CliOptions, SetKeepsWhatIsNotGiven) {
    const auto o = parse_options(words("set a_1 --name Line3"));
    EXPECT_EQ(o.name, std::optional<std::string>("Line3"));
    EXPECT_FALSE(o.ip);
    EXPECT_FALSE(o.mask);
    EXPECT_FALSE(o.gateway);
    EXPECT_EQ(o.method, method_choice::keep);
}

TEST(CliOptions, SetTakesEveryAddressAndTheWait) {
    const auto o = parse_options(
        words("set a_1 --ip 10.0.0.5 --mask 255.255.0.0 --gateway 10.0.0.1 --static --wait-reboot "
              "--reboot-timeout 30 --user admin --password-stdin"));
    EXPECT_EQ(o.ip, std::optional<std::string>("10.0.0.5"));
    EXPECT_EQ(o.mask, std::optional<std::string>("255.255.0.0"));
    EXPECT_EQ(o.gateway, std::optional<std::string>("10.0.0.1"));
    EXPECT_EQ(o.method, method_choice::persistent);
    EXPECT_TRUE(o.wait_reboot);
    EXPECT_DOUBLE_EQ(o.reboot_timeout_s, 30.0);
    EXPECT_EQ(o.user, std::optional<std::string>("admin"));
    EXPECT_TRUE(o.password_stdin);
}

TEST(CliOptions, AnEmptyNameIsAChange) {
    const auto o = parse_options({"set", "a_1", "--name", ""});
    EXPECT_EQ(o.name, std::optional<std::string>(""));
}

TEST(CliOptions, HelpNeedsNothingElse) {
    EXPECT_TRUE(parse_options(words("--help")).help);
    const auto o = parse_options(words("set -h"));
    EXPECT_TRUE(o.help);
    EXPECT_EQ(o.what, command::set);
    EXPECT_NE(cli::usage_text(command::set).find("--wait-reboot"), std::string::npos);
    EXPECT_NE(cli::usage_text(command::none).find("Exit status"), std::string::npos);
}

struct refused_line {
    const char* line;
    const char* says;
};

class CliRefusedLines : public ::testing::TestWithParam<refused_line> {};

TEST_P(CliRefusedLines, AreUsageErrorsNamingTheProblem) {
    const auto text = refusal(GetParam().line);
    EXPECT_NE(text.find(GetParam().says), std::string::npos)
        << "line: " << GetParam().line << "\nrefusal: " << text;
}

INSTANTIATE_TEST_SUITE_P(
    CliOptions, CliRefusedLines,
    ::testing::Values(
        refused_line{"", "say what to do"}, refused_line{"discover", "unknown command"},
        refused_line{"scan --bogus", "unknown option"}, refused_line{"scan -x", "unknown option"},
        refused_line{"scan extra", "unexpected argument"},
        refused_line{"scan --ip 1.2.3.4", "does not apply to scan"},
        refused_line{"localize a_1 --name x", "does not apply to localize"},
        refused_line{"scan --timeout", "needs a value"},
        refused_line{"scan --timeout 0", "--timeout expects seconds"},
        refused_line{"scan --timeout -1", "--timeout expects seconds"},
        refused_line{"scan --timeout 601", "--timeout expects seconds"},
        refused_line{"scan --timeout 2s", "--timeout expects seconds"},
        refused_line{"scan --timeout nan", "--timeout expects seconds"},
        refused_line{"scan --json=yes", "takes no value"},
        refused_line{"set", "needs the device id"},
        refused_line{"set abc --name x", "is not <article>_<serial>"},
        refused_line{"set _1 --name x", "is not <article>_<serial>"},
        refused_line{"set a_ --name x", "is not <article>_<serial>"},
        refused_line{"set a_1", "nothing to change"},
        refused_line{"set a_1 --ip 10.0.0.256", "dotted IPv4"},
        refused_line{"set a_1 --ip 10.0.0", "dotted IPv4"},
        refused_line{"set a_1 --mask 255.255.255.0.0", "dotted IPv4"},
        refused_line{"set a_1 --gateway 010.0.0.1", "dotted IPv4"},
        refused_line{"set a_1 --ip host.example", "dotted IPv4"},
        refused_line{"set a_1 --dhcp --ip 10.0.0.5", "--dhcp takes the address"},
        refused_line{"set a_1 --dhcp --static", "exclude each other"},
        refused_line{"set a_1 --name x --password secret", "never taken"},
        refused_line{"set a_1 --name x --password=secret", "never taken"},
        refused_line{"localize a_1 --password-stdin", "needs --user"},
        refused_line{"set a_1 --name x --reboot-timeout 4000", "--reboot-timeout"},
        refused_line{"apply", "needs the plan file"},
        refused_line{"apply p.csv extra", "unexpected argument"},
        refused_line{"apply p.csv --parallel 0", "--parallel expects a whole number"},
        refused_line{"apply p.csv --parallel 65", "--parallel expects a whole number"},
        refused_line{"apply p.csv --parallel -1", "--parallel expects a whole number"},
        refused_line{"apply p.csv --parallel 2x", "--parallel expects a whole number"},
        refused_line{"apply p.csv --parallel", "needs a value"},
        refused_line{"apply p.csv --ip 10.0.0.5", "does not apply to apply"},
        refused_line{"set a_1 --name x --dry-run", "does not apply to set"},
        refused_line{"apply p.csv --password-stdin", "needs --user"}));

TEST(CliOptions, ApplyTakesPlanParallelDryRunJsonAndUser) {
    const auto o = parse_options(
        words("apply plan.json --parallel 64 --dry-run --json --user admin --password-stdin"));
    EXPECT_EQ(o.what, command::apply);
    EXPECT_EQ(o.plan_path, "plan.json");
    EXPECT_EQ(o.parallel, 64);
    EXPECT_TRUE(o.dry_run);
    EXPECT_TRUE(o.json);
    EXPECT_EQ(o.user, "admin");
    EXPECT_EQ(parse_options(words("apply p.csv")).parallel, 8);
    EXPECT_EQ(parse_options(words("apply p.csv --parallel 1")).parallel, 1);
}

TEST(CliPassword, StdinGivesTheFirstLineWithoutItsEnd) {
    std::istringstream crlf("s3cret\r\nsecond\n");
    EXPECT_EQ(cli::read_password_line(crlf), "s3cret");
    std::istringstream unterminated("no newline");
    EXPECT_EQ(cli::read_password_line(unterminated), "no newline");
    std::istringstream spaces("  inner space \n");
    EXPECT_EQ(cli::read_password_line(spaces), "  inner space ");
}

TEST(CliPassword, AnEmptyLineIsAnEmptyPasswordButNoLineIsAnError) {
    std::istringstream empty_line("\n");
    EXPECT_EQ(cli::read_password_line(empty_line), "");
    std::istringstream nothing("");
    EXPECT_THROW(cli::read_password_line(nothing), usage_error);
}
