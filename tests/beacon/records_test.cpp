#include <gtest/gtest.h>

#include <beacon/beacon.h>

#include <functional>
#include <memory>
#include <random>
#include <regex>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using sdk::system::capabilities;
using sdk::system::event_type;
using sdk::system::network_method_type;
using sdk::system::operation_result;
using State = DeviceAdministrationFbbApi::DeviceState;

template <typename F>
std::string thrown_text(F&& f) {
    try {
        f();
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "no exception";
}

TEST(Records, KindCodesAreStampedByEachClass) {
    EXPECT_EQ(static_cast<int>(dp::discovery_request().type_of_service()), 0);
    EXPECT_EQ(static_cast<int>(dp::discovery_response().type_of_service()), 1);
    EXPECT_EQ(static_cast<int>(dp::configuration_request().type_of_service()), 2);
    EXPECT_EQ(static_cast<int>(dp::configuration_response().type_of_service()), 3);
    EXPECT_EQ(static_cast<int>(dp::localize_request().type_of_service()), 4);
    EXPECT_EQ(static_cast<int>(dp::localize_response().type_of_service()), 5);
    EXPECT_EQ(static_cast<int>(dp::event().type_of_service()), -1);
}

TEST(Records, ANewDiscoveryResponseHoldsThePlaceholderValues) {
    dp::discovery_response r;
    EXPECT_EQ(r.mac(), "00:11:22:33:44:55");
    EXPECT_EQ(r.ip(), "0.0.0.0");
    EXPECT_EQ(r.mask(), "0.0.0.0");
    EXPECT_EQ(r.gateway(), "0.0.0.0");
    EXPECT_EQ(static_cast<int>(r.network_method()), 255);
    EXPECT_EQ(r.state(), State::DeviceState_UNKNOWN);
    EXPECT_EQ(r.capability(), 0u);
    EXPECT_EQ(r.status_value(), 0);
    EXPECT_FALSE(r.authentication());
    EXPECT_TRUE(r.info_messages().empty());
    EXPECT_EQ(r.request_id(), "");
}

TEST(Records, ConfigurationIsAcceptedAndLocalizeUnknownUntilSet) {
    EXPECT_EQ(dp::configuration_response().result(), operation_result::ACCEPTED);
    EXPECT_EQ(dp::localize_response().result(), operation_result::UNKNOWN);
    EXPECT_EQ(dp::configuration_request().network_method(), network_method_type::UNKNOWN);
}

struct AddressCase {
    std::string text;
    bool valid;
};

class AddressValidation : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressValidation, AllSixSettersFollowThePattern) {
    const auto& c = GetParam();
    dp::discovery_response response;
    dp::configuration_request request;
    request.set_ip("1.1.1.1");
    request.set_mask("1.1.1.1");
    request.set_gateway("1.1.1.1");
    using Setter = std::function<void()>;
    const std::vector<std::pair<Setter, std::function<std::string()>>> setters = {
        {[&] { response.set_ip(c.text); }, [&] { return response.ip(); }},
        {[&] { response.set_mask(c.text); }, [&] { return response.mask(); }},
        {[&] { response.set_gateway(c.text); }, [&] { return response.gateway(); }},
        {[&] { request.set_ip(c.text); }, [&] { return request.ip(); }},
        {[&] { request.set_mask(c.text); }, [&] { return request.mask(); }},
        {[&] { request.set_gateway(c.text); }, [&] { return request.gateway(); }},
    };
    for (const auto& [set, get] : setters) {
        const std::string before = get();
        if (c.valid) {
            set();
            EXPECT_EQ(get(), c.text);
        } else {
            EXPECT_EQ(thrown_text(set), "Invalid IP address");
            EXPECT_EQ(get(), before) << "a rejected value must leave the field unchanged";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AddressValidation,
    ::testing::Values(AddressCase{"", false}, AddressCase{"256.1.1.1", false},
                      AddressCase{"1.2.3", false}, AddressCase{"1.2.3.4.5", false},
                      AddressCase{"1.2.3.4 ", false}, AddressCase{" 1.2.3.4", false},
                      AddressCase{"a.b.c.d", false}, AddressCase{"1.2.3.0004", false},
                      AddressCase{"01.002.3.4", true}, AddressCase{"0.0.0.0", true},
                      AddressCase{"255.255.255.255", true}, AddressCase{"249.250.199.100", true},
                      AddressCase{std::string(100000, '1'), false}));

struct MacCase {
    std::string text;
    bool valid;
};

class MacValidation : public ::testing::TestWithParam<MacCase> {};

TEST_P(MacValidation, FollowsThePattern) {
    dp::discovery_response r;
    if (GetParam().valid) {
        r.set_mac(GetParam().text);
        EXPECT_EQ(r.mac(), GetParam().text);
    } else {
        EXPECT_EQ(thrown_text([&] { r.set_mac(GetParam().text); }), "Invalid MAC address");
        EXPECT_EQ(r.mac(), "00:11:22:33:44:55");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, MacValidation,
    ::testing::Values(MacCase{"00-11:22-33:44-55", true}, MacCase{"0011.2233.4455", true},
                      MacCase{"aA:bB:cC:dD:eE:fF", true}, MacCase{"00:11:22:33:44", false},
                      MacCase{"00:11:22:33:44:55 ", false}, MacCase{"00:11:22:33:44:5g", false},
                      MacCase{"0011.2233.445", false}, MacCase{"", false}));

// The address checks once were these two regular expressions, matched in
// full; the checks must still accept exactly what they accepted.
bool reference_ip(const std::string& text) {
    static const std::regex pattern(
        "(25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.(25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.(25[0-"
        "5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.(25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)");
    return text.size() <= 15 && std::regex_match(text, pattern);
}

bool reference_mac(const std::string& text) {
    static const std::regex pattern(
        "^([0-9A-Fa-f]{2}[:-]){5}([0-9A-Fa-f]{2})|([0-9a-fA-F]{4}\\.[0-9a-fA-F]{4}\\.[0-9a-fA-F]{"
        "4})$");
    return text.size() <= 17 && std::regex_match(text, pattern);
}

bool accepts_ip(const std::string& text) {
    dp::discovery_response r;
    return thrown_text([&] { r.set_ip(text); }) == "no exception";
}

bool accepts_mac(const std::string& text) {
    dp::discovery_response r;
    return thrown_text([&] { r.set_mac(text); }) == "no exception";
}

TEST(AddressChecks, EveryOctetTextIsJudgedAsByThePattern) {
    std::vector<std::string> octets = {""};
    for (int length = 1; length <= 4; ++length) {
        std::vector<std::string> longer;
        for (const auto& o : octets) {
            if (static_cast<int>(o.size()) == length - 1) {
                for (char c = '0'; c <= '9'; ++c) {
                    longer.push_back(o + c);
                }
            }
        }
        octets.insert(octets.end(), longer.begin(), longer.end());
    }
    int accepted = 0;
    for (const auto& o : octets) {
        for (const std::string& text : {"1.2.3." + o, o + ".0.0.0", "9." + o + ".9.9"}) {
            ASSERT_EQ(accepts_ip(text), reference_ip(text)) << text;
            accepted += accepts_ip(text);
        }
    }
    EXPECT_GT(accepted, 0);
}

TEST(AddressChecks, RandomTextsAreJudgedAsByThePatterns) {
    std::mt19937 random(20261208);
    const std::string ip_letters = "0123456789.";
    const std::string mac_letters = "0123456789aAfFgG:-.";
    auto texts = [&](const std::string& letters, int count, std::size_t longest,
                     const std::string& seed) {
        std::vector<std::string> out;
        for (int i = 0; i < count; ++i) {
            std::string t;
            if (i % 2 == 0) {
                // Mutations of a valid text find the edges better than noise.
                t = seed;
                for (int k = random() % 3; k >= 0; --k) {
                    const std::size_t at = random() % (t.size() + 1);
                    const char c = letters[random() % letters.size()];
                    switch (random() % 3) {
                        case 0:
                            t.insert(t.begin() + at, c);
                            break;
                        case 1:
                            if (at < t.size())
                                t.erase(at, 1);
                            break;
                        default:
                            if (at < t.size())
                                t[at] = c;
                            break;
                    }
                }
            } else {
                const std::size_t length = random() % (longest + 1);
                for (std::size_t k = 0; k < length; ++k) {
                    t += letters[random() % letters.size()];
                }
            }
            out.push_back(t);
        }
        return out;
    };
    for (const auto& t : texts(ip_letters, 20000, 16, "192.168.100.255")) {
        ASSERT_EQ(accepts_ip(t), reference_ip(t)) << t;
    }
    for (const auto& seed : {"00:1a:2B:3c:4D:5e", "0011.22aa.BBff"}) {
        for (const auto& t : texts(mac_letters, 20000, 18, seed)) {
            ASSERT_EQ(accepts_mac(t), reference_mac(t)) << t;
        }
    }
}

TEST(Capabilities, AFlagSetsAndTestsOnlyItsHighestBit) {
    dp::discovery_response r;
    r.set_capability(capabilities::SUPPORTS_LOCALIZE, true);
    EXPECT_EQ(r.capability(), 8u);
    r.set_capability(static_cast<capabilities>(3), true);
    EXPECT_EQ(r.capability(), 10u) << "a multi-bit flag addresses only its highest bit";
    EXPECT_FALSE(r.capability(static_cast<capabilities>(9)));
    EXPECT_TRUE(r.capability(capabilities::SUPPORTS_LOCALIZE));
    EXPECT_TRUE(r.capability(static_cast<capabilities>(0)));
    r.set_capability(capabilities::SUPPORTS_LOCALIZE, false);
    EXPECT_EQ(r.capability(), 2u);
}

TEST(Capabilities, ZeroFlagAddressesBitZeroAndHighBitWorks) {
    dp::discovery_response r;
    r.set_capability(static_cast<capabilities>(0), true);
    EXPECT_EQ(r.capability(), 1u);
    r.set_capability(static_cast<capabilities>(0x80000000u), true);
    EXPECT_EQ(r.capability(), 0x80000001u);
    r.set_capability(0xFFu);
    EXPECT_EQ(r.capability(), 0xFFu);
    EXPECT_TRUE(r.capability(capabilities::SUPPORTS_DHCP));
}

TEST(Results, ConfigurationResponseValidatesLocalizeResponseDoesNot) {
    dp::configuration_response c;
    EXPECT_EQ(thrown_text([&] { c.set_result(static_cast<operation_result>(9)); }),
              "Invalid parameter");
    EXPECT_EQ(thrown_text([&] { c.set_result(static_cast<operation_result>(-2)); }),
              "Invalid parameter");
    EXPECT_EQ(c.result(), operation_result::ACCEPTED);
    c.set_result(operation_result::UNKNOWN);
    EXPECT_EQ(c.result(), operation_result::UNKNOWN);
    c.set_result(operation_result::RESERVED_IP);
    EXPECT_EQ(c.result(), operation_result::RESERVED_IP);
    dp::localize_response l;
    l.set_result(static_cast<operation_result>(9));
    EXPECT_EQ(static_cast<int>(l.result()), 9);
}

TEST(Equality, ResponsesIgnoreTheResult) {
    dp::configuration_response a, b;
    a.set_result(operation_result::BUSY);
    EXPECT_TRUE(a == b);
    b.set_serial_number("x");
    EXPECT_FALSE(a == b);
    dp::localize_response c, d;
    c.set_result(operation_result::ERROR);
    EXPECT_TRUE(c == d);
    d.set_request_id("id");
    EXPECT_FALSE(c == d);
}

TEST(Equality, RequestsIgnoreCredentials) {
    dp::configuration_request a, b;
    a.set_username("u");
    a.set_password("p");
    EXPECT_TRUE(a == b);
    b.set_nic_name("eth0");
    EXPECT_FALSE(a == b);
    dp::localize_request c, d;
    c.set_password("secret");
    EXPECT_TRUE(c == d);
    d.set_article_number("1");
    EXPECT_FALSE(c == d);
    dp::discovery_request e, f;
    EXPECT_TRUE(e == f);
    f.set_request_id("x");
    EXPECT_FALSE(e == f);
}

TEST(Wipe, RequestsForgetTheirCredentialsButKeepTheRest) {
    dp::configuration_request configuration;
    configuration.set_article_number("A");
    configuration.set_username("admin");
    configuration.set_password(std::string(100, 'p'));
    configuration.wipe_credentials();
    EXPECT_EQ(configuration.username(), "");
    EXPECT_EQ(configuration.password(), "");
    EXPECT_EQ(configuration.article_number(), "A");

    dp::localize_request localize;
    localize.set_serial_number("S");
    localize.set_username("admin");
    localize.set_password("secret");
    localize.wipe_credentials();
    EXPECT_EQ(localize.username(), "");
    EXPECT_EQ(localize.password(), "");
    EXPECT_EQ(localize.serial_number(), "S");
}

TEST(Wipe, OverwritesTheWholeBufferWithZeros) {
    std::string text(64, 'x');
    text.resize(10);  // the tail beyond the size still holds the old bytes
    const char* storage = text.data();
    const std::size_t capacity = text.capacity();
    dp::secure_wipe(text);
    EXPECT_TRUE(text.empty());
    ASSERT_EQ(text.data(), storage) << "wiped in place, not reallocated";
    EXPECT_EQ(std::string(storage, capacity), std::string(capacity, '\0'));

    char raw[5] = {'a', 'b', 'c', 'd', 'e'};
    dp::secure_wipe(raw, 4);
    EXPECT_EQ(std::string(raw, 5), std::string("\0\0\0\0e", 5));
    dp::secure_wipe(nullptr, 4);  // nothing to wipe, nothing happens
}

TEST(Equality, DiscoveryResponseComparesAllButDateAndNic) {
    dp::discovery_response base;
    auto copy = base;
    copy.set_manufacture_date("2020");
    copy.set_nic_name("eth9");
    EXPECT_TRUE(copy == base);

    const std::vector<std::function<void(dp::discovery_response&)>> changes = {
        [](auto& r) { r.set_request_id("x"); },
        [](auto& r) { r.set_mac("00:00:00:00:00:00"); },
        [](auto& r) { r.set_hardware_version("x"); },
        [](auto& r) { r.set_device_type("x"); },
        [](auto& r) { r.set_device_url("x"); },
        [](auto& r) { r.set_serial_number("x"); },
        [](auto& r) { r.set_article_number("x"); },
        [](auto& r) { r.set_device_firmware("x"); },
        [](auto& r) { r.set_user_defined_name("x"); },
        [](auto& r) { r.set_manufacturer("x"); },
        [](auto& r) { r.set_ip("1.1.1.1"); },
        [](auto& r) { r.set_mask("1.1.1.1"); },
        [](auto& r) { r.set_gateway("1.1.1.1"); },
        [](auto& r) { r.set_network_method(network_method_type::DHCP); },
        [](auto& r) { r.set_state(State::DeviceState_ACTIVE); },
        [](auto& r) { r.set_status_value(1); },
        [](auto& r) { r.append_info_message("x"); },
        [](auto& r) { r.set_capability(1u); },
        [](auto& r) { r.set_authentication(true); },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        auto changed = base;
        changes[i](changed);
        EXPECT_FALSE(changed == base) << "change " << i << " must matter";
    }
}

TEST(Records, InfoMessagesKeepOrder) {
    dp::discovery_response r;
    r.append_info_message("one");
    r.append_info_message("two");
    EXPECT_EQ(r.info_messages(), (std::vector<std::string>{"one", "two"}));
}

TEST(Records, MovingLeavesSourceTextsEmpty) {
    dp::configuration_request a;
    a.set_request_id("a long request id that does not fit in a small string buffer");
    a.set_article_number("a long article number that is longer than fifteen bytes");
    dp::configuration_request b(std::move(a));
    EXPECT_EQ(a.request_id(), "");  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(a.article_number(), "");
    EXPECT_EQ(b.article_number(), "a long article number that is longer than fifteen bytes");
}

TEST(Records, MessagesAreDestroyedThroughTheBase) {
    // Messages travel as unique_ptr<event>; without this the derived fields leak.
    EXPECT_TRUE(std::has_virtual_destructor_v<dp::event>);
}

TEST(ProtocolException, CarriesAddressPortAndMessage) {
    dp::protocol_exception e("10.0.0.2", 33002);
    EXPECT_STREQ(e.what(), "Socket bind failed on 10.0.0.2:33002");
    EXPECT_EQ(e.ip(), "10.0.0.2");
    EXPECT_EQ(e.port(), 33002u);
    dp::protocol_exception copy = e;
    EXPECT_STREQ(copy.what(), e.what());
    const std::exception& base = e;
    EXPECT_STREQ(base.what(), "Socket bind failed on 10.0.0.2:33002");
}

}  // namespace
