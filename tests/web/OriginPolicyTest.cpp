#include <gtest/gtest.h>

#include "web/OriginPolicy.h"

struct UpgradeCase {
    const char* name;
    QString host;
    QString origin;  // null: no Origin header
    bool accepted;
};

class OriginPolicyRule : public ::testing::TestWithParam<UpgradeCase> {};

TEST_P(OriginPolicyRule, AcceptsOnlyThisComputersOwnPage) {
    const OriginPolicy policy(8080, {"Workstation", "192.168.5.7", "fe80::1"});
    const UpgradeCase& c = GetParam();
    const QString refusal = policy.refusal(c.host, c.origin);
    EXPECT_EQ(refusal.isEmpty(), c.accepted) << refusal.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, OriginPolicyRule,
    ::testing::Values(
        UpgradeCase{"LocalhostNoOrigin", "localhost:8080", QString(), true},
        UpgradeCase{"LocalhostOwnOrigin", "localhost:8080", "http://localhost:8080", true},
        UpgradeCase{"OriginCaseIgnored", "LocalHost:8080", "http://localhost:8080", true},
        UpgradeCase{"LoopbackAddress", "127.0.0.1:8080", "http://127.0.0.1:8080", true},
        UpgradeCase{"OtherLoopbackAddress", "127.0.0.2:8080", QString(), true},
        UpgradeCase{"IPv6Loopback", "[::1]:8080", "http://[::1]:8080", true},
        UpgradeCase{"OwnAddress", "192.168.5.7:8080", "http://192.168.5.7:8080", true},
        UpgradeCase{"OwnIPv6Address", "[fe80::1]:8080", QString(), true},
        UpgradeCase{"OwnHostName", "workstation:8080", "http://workstation:8080", true},
        UpgradeCase{"ForeignOrigin", "localhost:8080", "http://evil.example", false},
        UpgradeCase{"OriginOnOtherPort", "localhost:8080", "http://localhost:9000", false},
        UpgradeCase{"OriginOtherName", "localhost:8080", "http://127.0.0.1:8080", false},
        UpgradeCase{"OriginHttps", "localhost:8080", "https://localhost:8080", false},
        UpgradeCase{"NullOrigin", "localhost:8080", "null", false},
        UpgradeCase{"EmptyOrigin", "localhost:8080", "", false},
        UpgradeCase{"ReboundName", "evil.example:8080", "http://evil.example:8080", false},
        UpgradeCase{"ReboundNameNoOrigin", "evil.example:8080", QString(), false},
        UpgradeCase{"ForeignAddress", "10.9.9.9:8080", QString(), false},
        UpgradeCase{"WrongPort", "localhost:9999", QString(), false},
        UpgradeCase{"DefaultPortIsNotOurs", "localhost", QString(), false},
        UpgradeCase{"NoHost", "", QString(), false},
        UpgradeCase{"PortWithJunk", "localhost:8080x", QString(), false},
        UpgradeCase{"PortWithLeadingZero", "localhost:08080", QString(), false},
        UpgradeCase{"BareIPv6", "::1:8080", QString(), false},
        UpgradeCase{"NameEndingLikeOurs", "notworkstation:8080", QString(), false}),
    [](const ::testing::TestParamInfo<UpgradeCase>& info) { return std::string(info.param.name); });

TEST(OriginPolicy, PortEightyMayBeLeftOut) {
    const OriginPolicy policy(80, {});
    EXPECT_TRUE(policy.refusal("localhost", "http://localhost").isEmpty());
    EXPECT_TRUE(policy.refusal("localhost:80", QString()).isEmpty());
}

TEST(OriginPolicy, CurrentNamesIncludeTheLoopbackAddress) {
    EXPECT_TRUE(OriginPolicy::currentOwnNames().contains("127.0.0.1"));
}
