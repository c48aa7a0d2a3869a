#include <gtest/gtest.h>

#include <QSet>

#include "web/AccessPolicy.h"
#include "web/AccessToken.h"
#include "web/MessageAssembler.h"
#include "web/RequestGate.h"

namespace {

const QByteArray token = "Zm9vYmFyYmF6cXV4cXV1eGNvcmdlZ3JhdWx0Z2FycGx5";
constexpr uint ownUid = 1000;

TEST(AccessToken, IsThirtyTwoRandomBytesInBase64UrlWithoutPadding) {
    const QByteArray made = webaccess::newToken();
    EXPECT_EQ(made.size(), 43);
    for (char c : made) {
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') << c;
    }
    EXPECT_EQ(QByteArray::fromBase64(made, QByteArray::Base64UrlEncoding).size(), 32);
}

TEST(AccessToken, IsNewEachTime) {
    QSet<QByteArray> seen;
    for (int i = 0; i < 50; ++i) {
        seen.insert(webaccess::newToken());
    }
    EXPECT_EQ(seen.size(), 50);
}

struct CompareCase {
    const char* name;
    QByteArray offered;
    QByteArray expected;
    bool same;
};

class TokenComparison : public ::testing::TestWithParam<CompareCase> {};

TEST_P(TokenComparison, MatchesOnlyTheWholeToken) {
    EXPECT_EQ(webaccess::sameToken(GetParam().offered, GetParam().expected), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TokenComparison,
    ::testing::Values(CompareCase{"Equal", token, token, true},
                      CompareCase{"LastCharacterDiffers", token.left(42) + "z", token, false},
                      CompareCase{"Prefix", token.left(20), token, false},
                      CompareCase{"Longer", token + "x", token, false},
                      CompareCase{"Empty", "", token, false},
                      CompareCase{"NoTokenExpected", "", "", false}),
    [](const ::testing::TestParamInfo<CompareCase>& info) { return std::string(info.param.name); });

struct ExtractCase {
    const char* name;
    const char* text;  // null: no query or no Cookie header
    QByteArray expected;
};

class TokenFromQuery : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(TokenFromQuery, ReadsTheTokenParameter) {
    EXPECT_EQ(webaccess::tokenFromQuery(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, TokenFromQuery,
                         ::testing::Values(ExtractCase{"Alone", "token=abc-_1", "abc-_1"},
                                           ExtractCase{"AmongOthers", "a=1&token=abc&b=2", "abc"},
                                           ExtractCase{"PercentEncoded", "token=a%2Db", "a-b"},
                                           ExtractCase{"Absent", "tokens=abc", ""},
                                           ExtractCase{"Empty", "token=", ""},
                                           ExtractCase{"NoQuery", nullptr, ""}),
                         [](const ::testing::TestParamInfo<ExtractCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(TokenFromQuery, RefusesATokenLongerThanAnyOfOurs) {
    const std::string query = "token=" + std::string(4000, 'a');
    EXPECT_TRUE(webaccess::tokenFromQuery(query.c_str()).isEmpty());
}

class TokenFromCookies : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(TokenFromCookies, ReadsTheTokenCookie) {
    EXPECT_EQ(webaccess::tokenFromCookies(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TokenFromCookies,
    ::testing::Values(ExtractCase{"Alone", "lanfinder_token=abc", "abc"},
                      ExtractCase{"AmongOthers", "a=1; lanfinder_token=abc; b=2", "abc"},
                      ExtractCase{"OtherCookieOnly", "session=abc", ""},
                      ExtractCase{"NoHeader", nullptr, ""}),
    [](const ::testing::TestParamInfo<ExtractCase>& info) { return std::string(info.param.name); });

TEST(TokenCookie, IsHttpOnlyAndStrictlySameSite) {
    EXPECT_EQ(webaccess::cookieFor("abc"),
              "lanfinder_token=abc; Path=/; HttpOnly; SameSite=Strict");
}

struct DecisionCase {
    const char* name;
    bool remoteAccess;
    QString peer;
    std::optional<uint> peerUid;
    QByteArray query;
    QByteArray cookie;
    AccessPolicy::Verdict verdict;
};

class AccessDecision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(AccessDecision, AdmitsTheUserHereAndTokenHoldersElsewhere) {
    const DecisionCase& c = GetParam();
    const AccessPolicy policy(c.remoteAccess, token, ownUid);
    bool asked = false;
    const auto owner = [&] {
        asked = true;
        return c.peerUid;
    };
    const AccessPolicy::Decision decision =
        policy.decide(QHostAddress(c.peer), owner, c.query, c.cookie);
    EXPECT_EQ(decision.verdict, c.verdict) << decision.reason.toStdString();
    EXPECT_EQ(decision.verdict == AccessPolicy::Verdict::Refuse, !decision.reason.isEmpty());
    EXPECT_FALSE(decision.reason.toUtf8().contains(token));
    // Only a loopback peer's socket is looked up.
    EXPECT_EQ(asked, QHostAddress(c.peer).isLoopback());
}

using V = AccessPolicy::Verdict;
INSTANTIATE_TEST_SUITE_P(
    Table, AccessDecision,
    ::testing::Values(
        DecisionCase{"OwnUserOnLoopback", false, "127.0.0.1", ownUid, "", "", V::Allow},
        DecisionCase{"OwnUserOnIPv6Loopback", false, "::1", ownUid, "", "", V::Allow},
        DecisionCase{"OtherUserOnLoopback", false, "127.0.0.1", 1001u, "", "", V::Refuse},
        DecisionCase{"OtherUserWithToken", true, "127.0.0.1", 1001u, token, token, V::Refuse},
        DecisionCase{"UnknownOwner", false, "127.0.0.1", std::nullopt, "", "", V::Refuse},
        DecisionCase{"RemoteWhileOff", false, "10.0.0.2", std::nullopt, token, token, V::Refuse},
        DecisionCase{"RemoteWithoutToken", true, "10.0.0.2", std::nullopt, "", "", V::Refuse},
        DecisionCase{"RemoteWrongToken", true, "10.0.0.2", std::nullopt, "x" + token.mid(1), "",
                     V::Refuse},
        DecisionCase{"RemoteTokenInQuery", true, "10.0.0.2", std::nullopt, token, "",
                     V::AllowAndSetCookie},
        DecisionCase{"RemoteTokenInCookie", true, "10.0.0.2", std::nullopt, "", token, V::Allow},
        DecisionCase{"RemoteStaleCookieFreshLink", true, "10.0.0.2", std::nullopt, token, "old",
                     V::AllowAndSetCookie},
        DecisionCase{"RemoteIPv6", true, "fe80::2", std::nullopt, "", token, V::Allow}),
    [](const ::testing::TestParamInfo<DecisionCase>& info) {
        return std::string(info.param.name);
    });

TEST(AccessDecision, RemoteAccessWithoutATokenAdmitsNoOne) {
    const AccessPolicy policy(true, QByteArray(), ownUid);
    EXPECT_EQ(policy.decide(QHostAddress("10.0.0.2"), nullptr, "", "").verdict, V::Refuse);
}

struct RedirectCase {
    const char* name;
    const char* localUri;
    QByteArray location;
};

class RedirectTarget : public ::testing::TestWithParam<RedirectCase> {};

TEST_P(RedirectTarget, StaysOnThisServerAndCannotBreakTheHeader) {
    EXPECT_EQ(RequestGate::redirectTarget(GetParam().localUri), GetParam().location);
}

INSTANTIATE_TEST_SUITE_P(Table, RedirectTarget,
                         ::testing::Values(RedirectCase{"Root", "/", "/"},
                                           RedirectCase{"File", "/css/app.css", "/css/app.css"},
                                           RedirectCase{"OtherHost", "//evil.example/x",
                                                        "/evil.example/x"},
                                           RedirectCase{"LineBreak", "/a\r\nSet-Cookie: x=1",
                                                        "/a%0D%0ASet-Cookie%3A%20x%3D1"},
                                           RedirectCase{"Null", nullptr, "/"}),
                         [](const ::testing::TestParamInfo<RedirectCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(RequestGate, ServesOnlyGetAndHead) {
    EXPECT_TRUE(RequestGate::isServedMethod("GET"));
    EXPECT_TRUE(RequestGate::isServedMethod("HEAD"));
    for (const char* method : {"PUT", "POST", "DELETE", "PROPFIND", "OPTIONS", "get", ""}) {
        EXPECT_FALSE(RequestGate::isServedMethod(method)) << method;
    }
    EXPECT_FALSE(RequestGate::isServedMethod(nullptr));
}

TEST(RequestGate, HeadersForbidFramingAndSniffing) {
    const QByteArray headers(RequestGate::securityHeaders);
    EXPECT_TRUE(headers.contains("frame-ancestors 'none'"));
    EXPECT_TRUE(headers.contains("X-Frame-Options: DENY"));
    EXPECT_TRUE(headers.contains("X-Content-Type-Options: nosniff"));
    EXPECT_TRUE(headers.contains("Referrer-Policy: no-referrer"));
    EXPECT_FALSE(headers.endsWith("\r\n"));
}

TEST(MessageAssembler, RefusesAFrameAnnouncedBeyondAnySizeWithoutWrappingAround) {
    MessageAssembler assembler;
    QByteArray message;
    ASSERT_EQ(assembler.add(0x01, "ab", 2, message), MessageAssembler::Outcome::Pending);
    EXPECT_EQ(assembler.add(0x80, "", SIZE_MAX, message), MessageAssembler::Outcome::TooBig);
    // The broken message is gone; a new one starts afresh.
    EXPECT_EQ(assembler.add(0x81, "c", 1, message), MessageAssembler::Outcome::Message);
    EXPECT_EQ(message, "c");
}

}  // namespace
