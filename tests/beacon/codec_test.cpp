#include <gtest/gtest.h>

#include <beacon/beacon.h>

#include <string>
#include <vector>

#include "decoder_probe.h"

namespace {

using beacontest::decoder_probe;
using sdk::system::network_method_type;
using sdk::system::operation_result;
using State = DeviceAdministrationFbbApi::DeviceState;

const std::string uuid = "0f8fad5b-d9cb-469f-a165-70867728950e";

dp::discovery_response full_response() {
    dp::discovery_response r;
    r.set_request_id("r1");
    r.set_mac("00:11:22:33:44:66");
    r.set_hardware_version("H");
    r.set_device_type("T");
    r.set_device_url("U");
    r.set_serial_number("S");
    r.set_article_number("A");
    r.set_device_firmware("F");
    r.set_user_defined_name("N");
    r.set_manufacture_date("D");
    r.set_manufacturer("M");
    r.set_nic_name("ignored");
    r.set_ip("10.0.0.7");
    r.set_mask("255.255.255.0");
    r.set_gateway("10.0.0.254");
    r.set_authentication(true);
    r.set_network_method(network_method_type::DHCP);
    r.set_state(State::DeviceState_ACTIVE);
    r.set_status_value(-5);
    r.append_info_message("i1");
    r.append_info_message("i2");
    r.set_capability(11u);
    return r;
}

const std::string full_response_text =
    R"({"action":"REPLY","id":"r1","results":{"deviceDetails":{"articleNumber":"A",)"
    R"("authentication":true,"capabilities":11,"deviceStatus":{"info":["i1","i2"],)"
    R"("state":"ACTIVE","value":-5},"deviceType":"T","deviceUrl":"U","firmwareVersion":"F",)"
    R"("hardwareVersion":"H","hostID":"","mac":"00:11:22:33:44:66","manufactureDate":"D",)"
    R"("manufacturer":"M","network":{"gateway":"10.0.0.254","ip":"10.0.0.7",)"
    R"("mask":"255.255.255.0","method":"DHCP","nic_name":""},"serialNumber":"S",)"
    R"("userDefinedName":"N"}}})";

TEST(Encoding, DiscoveryRequestIs96Bytes) {
    dp::discovery_request request;
    request.set_request_id(uuid);
    const std::string text = dp::encode(request);
    EXPECT_EQ(text,
              R"({"action":"GET","id":")" + uuid + R"(","parameters":{"deviceDetails":null}})");
    EXPECT_EQ(text.size(), 96u);
}

TEST(Encoding, ConfigurationRequestMembersComeInByteOrder) {
    dp::configuration_request r;
    r.set_request_id("q");
    r.set_article_number("A");
    r.set_serial_number("S");
    r.set_ip("10.0.0.7");
    r.set_mask("255.0.0.0");
    r.set_gateway("10.0.0.1");
    r.set_user_defined_name("N");
    r.set_network_method(network_method_type::PERSISTENT_IP);
    r.set_username("u");
    r.set_password("p");
    EXPECT_EQ(dp::encode(r),
              R"({"action":"SET","articleNumber":"A","id":"q","parameters":{"configuration":)"
              R"({"network":{"gateway":"10.0.0.1","ip":"10.0.0.7","mask":"255.0.0.0",)"
              R"("method":"PERSISTENT_IP","nic_name":""},"userDefinedName":"N"},)"
              R"("credentials":{"password":"p","username":"u"}},"serialNumber":"S"})");
}

TEST(Encoding, DiscoveryResponseIsCompleteAndOrdered) {
    EXPECT_EQ(dp::encode(full_response()), full_response_text);
}

TEST(Encoding, DefaultDiscoveryResponseHasEveryMember) {
    dp::discovery_response r;
    r.set_state(static_cast<State>(7));
    r.set_network_method(static_cast<network_method_type>(3));
    const std::string text = dp::encode(r);
    EXPECT_NE(text.find(R"("hostID":"")"), std::string::npos);
    EXPECT_NE(text.find(R"("nic_name":"")"), std::string::npos);
    EXPECT_NE(text.find(R"("state":"")"), std::string::npos);
    EXPECT_NE(text.find(R"("method":"")"), std::string::npos);
    EXPECT_NE(text.find(R"("info":[])"), std::string::npos);
}

TEST(Encoding, ResultsAreWordsAndValuesWithoutAWordAreEmpty) {
    dp::configuration_response c;
    c.set_request_id("i");
    c.set_article_number("A");
    c.set_serial_number("S");
    c.set_result(operation_result::NOT_AUTHORIZED);
    EXPECT_EQ(dp::encode(c), R"({"action":"REPLY","articleNumber":"A","id":"i","results":)"
                             R"({"configuration":"NOT_AUTHORIZED"},"serialNumber":"S"})");

    dp::localize_response l;
    l.set_request_id("i");
    l.set_result(static_cast<operation_result>(9));
    EXPECT_EQ(dp::encode(l),
              R"({"action":"REPLY","articleNumber":"","id":"i","results":{"localize":""},)"
              R"("serialNumber":""})");
    l.set_result(operation_result::UNKNOWN);
    EXPECT_NE(dp::encode(l).find(R"({"localize":"UNKNOWN"})"), std::string::npos);

    dp::localize_request q;
    q.set_request_id("i");
    q.set_article_number("A");
    q.set_serial_number("S");
    q.set_username("u");
    q.set_password("p");
    EXPECT_EQ(dp::encode(q),
              R"({"action":"LOCALIZE","articleNumber":"A","id":"i","parameters":)"
              R"({"credentials":{"password":"p","username":"u"}},"serialNumber":"S"})");
}

TEST(Encoding, NonAsciiStaysUnescapedAndBadUtf8Throws) {
    dp::localize_response l;
    l.set_article_number("Zürich");
    EXPECT_NE(dp::encode(l).find("Zürich"), std::string::npos);
    l.set_article_number("\xff\xfe");
    EXPECT_ANY_THROW(dp::encode(l));
}

class RoundTrip : public ::testing::Test {
protected:
    decoder_probe probe;
};

TEST_F(RoundTrip, DiscoveryRequestDecodesToAnEqualRecord) {
    dp::discovery_request r;
    r.set_request_id(uuid);
    auto back = probe.decode_as<dp::discovery_request>(dp::encode(r));
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == r);
}

TEST_F(RoundTrip, DiscoveryResponseDecodesToAnEqualRecordWithoutNicName) {
    const auto r = full_response();
    auto back = probe.decode_as<dp::discovery_response>(dp::encode(r));
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == r);
    EXPECT_EQ(back->manufacture_date(), "D");
    EXPECT_EQ(back->nic_name(), "") << "network/nic_name is not read";
    EXPECT_EQ(back->state(), State::DeviceState_ACTIVE);
}

TEST_F(RoundTrip, ConfigurationRequestDecryptsCredentials) {
    dp::configuration_request r;
    r.set_request_id("q");
    r.set_article_number("A");
    r.set_serial_number("S");
    r.set_nic_name("eth1");
    r.set_ip("10.0.0.7");
    r.set_mask("255.0.0.0");
    r.set_gateway("10.0.0.1");
    r.set_user_defined_name("N");
    r.set_network_method(network_method_type::DHCP);
    r.set_username(dp::encrypt_credential("admin"));
    r.set_password(dp::encrypt_credential("pa ss"));
    auto back = probe.decode_as<dp::configuration_request>(dp::encode(r));
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == r);
    EXPECT_EQ(back->username(), "admin");
    EXPECT_EQ(back->password(), "pa ss");
}

TEST_F(RoundTrip, ConfigurationResponseKeepsResult) {
    dp::configuration_response r;
    r.set_request_id("q");
    r.set_article_number("A");
    r.set_serial_number("S");
    r.set_result(operation_result::RESERVED_IP);
    auto back = probe.decode_as<dp::configuration_response>(dp::encode(r));
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == r);
    EXPECT_EQ(back->result(), operation_result::RESERVED_IP);
}

TEST_F(RoundTrip, LocalizeRequestDecryptsCredentials) {
    dp::localize_request r;
    r.set_request_id("q");
    r.set_article_number("A");
    r.set_serial_number("S");
    r.set_username(dp::encrypt_credential("user"));
    r.set_password(dp::encrypt_credential(""));
    auto back = probe.decode_as<dp::localize_request>(dp::encode(r));
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == r);
    EXPECT_EQ(back->username(), "user");
    EXPECT_EQ(back->password(), "");
}

TEST_F(RoundTrip, LocalizeResponseKeepsResult) {
    dp::localize_response r;
    r.set_request_id("q");
    r.set_result(operation_result::BUSY);
    auto back = probe.decode_as<dp::localize_response>(dp::encode(r));
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == r);
    EXPECT_EQ(back->result(), operation_result::BUSY);
}

class Decoding : public ::testing::Test {
protected:
    decoder_probe probe;
};

TEST_F(Decoding, GetNeedsAnId) {
    EXPECT_FALSE(probe.decode(R"({"action":"GET","parameters":{"deviceDetails":null}})"));
    auto r = probe.decode_as<dp::discovery_request>(
        R"({"id":"x","parameters":{"other":1,"deviceDetails":5},"action":"GET"})");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->request_id(), "x");
}

TEST_F(Decoding, HostIdIsOptionalManufactureDateIsNot) {
    std::string text = full_response_text;
    std::string without_host = text;
    without_host.erase(without_host.find(R"("hostID":"",)"), 12);
    EXPECT_TRUE(probe.decode_as<dp::discovery_response>(without_host));
    std::string without_date = text;
    without_date.erase(without_date.find(R"("manufactureDate":"D",)"), 22);
    EXPECT_FALSE(probe.decode(without_date));
}

TEST_F(Decoding, UnknownStateWordMeansUnknown) {
    std::string text = full_response_text;
    text.replace(text.find("ACTIVE"), 6, "SLEEPY");
    auto r = probe.decode_as<dp::discovery_response>(text);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->state(), State::DeviceState_UNKNOWN);
}

TEST_F(Decoding, LastResultsMemberWins) {
    auto r = probe.decode(R"({"id":"i","action":"REPLY","articleNumber":"A","serialNumber":"S",)"
                          R"("results":{"localize":"BUSY","configuration":"ERROR"}})");
    ASSERT_TRUE(r);
    EXPECT_EQ(static_cast<int>(r->type_of_service()), 5);
}

TEST_F(Decoding, CapabilitiesAcceptAnyNumber) {
    std::string text = full_response_text;
    text.replace(text.find(R"("capabilities":11)"), 17, R"("capabilities":9.0)");
    auto r = probe.decode_as<dp::discovery_response>(text);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->capability(), 9u);
}

struct Malformed {
    const char* name;
    std::string text;
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    if (at == std::string::npos) {
        throw std::logic_error("test table refers to missing text " + from);
    }
    return text.replace(at, from.size(), to);
}

std::string localize_request_text(const std::string& user, const std::string& password) {
    return R"({"id":"i","action":"LOCALIZE","articleNumber":"A","serialNumber":"S",)"
           R"("parameters":{"credentials":{"username":")" +
           user + R"(","password":")" + password + R"("}}})";
}

std::vector<Malformed> malformed_table() {
    const std::string good_user = "hLVeGetRpRfN2i5rDBPZ8Q==";
    return {
        {"not json", "hello"},
        {"truncated json", full_response_text.substr(0, 100)},
        {"top level array", "[1,2,3]"},
        {"top level string", R"("GET")"},
        {"no action", R"({"id":"x","parameters":{"deviceDetails":null}})"},
        {"unknown action", R"({"id":"x","action":"get","parameters":{"deviceDetails":null}})"},
        {"action not a string", R"({"id":"x","action":1,"parameters":{"deviceDetails":null}})"},
        {"id not a string", R"({"id":5,"action":"GET","parameters":{"deviceDetails":null}})"},
        {"parameters not an object", R"({"id":"x","action":"GET","parameters":"deviceDetails"})"},
        {"parameters missing", R"({"id":"x","action":"GET"})"},
        {"no matching member", R"({"id":"x","action":"GET","parameters":{"other":null}})"},
        {"unused action", R"({"id":"x","action":"REBOOT","parameters":{"deviceDetails":null}})"},
        {"results not an object",
         replaced(full_response_text, R"("results":{)", R"("results":[{)") + "]"},
        {"bad mac", replaced(full_response_text, "00:11:22:33:44:66", "00:11:22:33:44")},
        {"bad ip", replaced(full_response_text, R"("ip":"10.0.0.7")", R"("ip":"10.0.0.777")")},
        {"empty gateway",
         replaced(full_response_text, R"("gateway":"10.0.0.254")", R"("gateway":"")")},
        {"unknown method",
         replaced(full_response_text, R"("method":"DHCP")", R"("method":"dhcp")")},
        {"capabilities a string",
         replaced(full_response_text, R"("capabilities":11)", R"("capabilities":"11")")},
        {"capabilities a boolean",
         replaced(full_response_text, R"("capabilities":11)", R"("capabilities":true)")},
        {"capabilities huge float",
         replaced(full_response_text, R"("capabilities":11)", R"("capabilities":1e300)")},
        {"status value a string", replaced(full_response_text, R"("value":-5)", R"("value":"-5")")},
        {"info not an array", replaced(full_response_text, R"(["i1","i2"])", R"("i1")")},
        {"info element not a string",
         replaced(full_response_text, R"(["i1","i2"])", R"(["i1",2])")},
        {"authentication not boolean",
         replaced(full_response_text, R"("authentication":true)", R"("authentication":1)")},
        {"state not a string", replaced(full_response_text, R"("state":"ACTIVE")", R"("state":0)")},
        {"unknown configuration result",
         R"({"id":"i","action":"REPLY","articleNumber":"A","serialNumber":"S","results":{"configuration":"OK"}})"},
        {"unknown localize result",
         R"({"id":"i","action":"REPLY","articleNumber":"A","serialNumber":"S","results":{"localize":""}})"},
        {"response without serial number",
         R"({"id":"i","action":"REPLY","articleNumber":"A","results":{"localize":"BUSY"}})"},
        {"empty credential", localize_request_text(good_user, "")},
        {"credential not base64 of a block", localize_request_text(good_user, "AAAA")},
        {"credential with bad padding",
         localize_request_text(good_user, "AAAAAAAAAAAAAAAAAAAAAA==")},
        {"credential missing",
         R"({"id":"i","action":"LOCALIZE","articleNumber":"A","serialNumber":"S","parameters":{"credentials":{"username":"x"}}})"},
        {"set without credentials",
         R"({"id":"i","action":"SET","articleNumber":"A","serialNumber":"S","parameters":{"configuration":{"userDefinedName":"N","network":{"nic_name":"","ip":"1.1.1.1","mask":"1.1.1.1","gateway":"1.1.1.1","method":"DHCP"}}}})"},
        {"deep nesting", std::string(1000000, '[')},
        {"deep nesting in a member", R"({"id":"x","action":"GET","parameters":{"deviceDetails":)" +
                                         std::string(100, '[') + std::string(100, ']') + "}}"},
        {"oversized datagram", replaced(full_response_text, R"("manufacturer":"M")",
                                        R"("manufacturer":")" + std::string(70000, 'M') + "\"")},
        {"comment", R"({"id":"x","action":"GET",/*c*/"parameters":{"deviceDetails":null}})"},
    };
}

TEST_F(Decoding, MalformedDatagramsYieldNothing) {
    for (const auto& c : malformed_table()) {
        EXPECT_FALSE(probe.decode(c.text)) << c.name;
    }
}

TEST_F(Decoding, NullAndEmptyBuffersYieldNothing) {
    EXPECT_FALSE(probe.decode(nullptr, 10));
    EXPECT_FALSE(probe.decode("x", 0));
    EXPECT_FALSE(probe.decode("x", -1));
}

TEST(Credentials, EncryptionMatchesIndependentlyComputedAnswers) {
    // Computed independently: openssl enc -aes-128-cbc -K <key> -iv 0 -base64.
    EXPECT_EQ(dp::encrypt_credential(""), "ckMZZxryTDqq/o6gjx6fHA==\n");
    EXPECT_EQ(dp::encrypt_credential("admin"), "hLVeGetRpRfN2i5rDBPZ8Q==\n");
    EXPECT_EQ(dp::decrypt_credential("hLVeGetRpRfN2i5rDBPZ8Q=="), "admin");
}

TEST(Credentials, EmptyTextIsOneBlock) {
    const std::string text = dp::encrypt_credential("");
    ASSERT_EQ(text.size(), 25u);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find('\n'), 24u);
}

TEST(Credentials, LinesBreakAfter72Characters) {
    const std::string sixty(60, 'p');
    const std::string text = dp::encrypt_credential(sixty);
    ASSERT_EQ(text.size(), 72u + 1 + 16 + 1);
    EXPECT_EQ(text[72], '\n');
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(dp::decrypt_credential(text), sixty);
}

TEST(Credentials, FullLastLineGetsOneLineFeed) {
    // 420 bytes pad to 432 bytes = 576 Base64 characters = exactly 8 lines.
    const std::string text = dp::encrypt_credential(std::string(420, 'x'));
    ASSERT_EQ(text.size(), 576u + 8);
    for (std::size_t line = 0; line < 8; ++line) {
        EXPECT_EQ(text[line * 73 + 72], '\n');
    }
    EXPECT_EQ(dp::decrypt_credential(text), std::string(420, 'x'));
}

TEST(Credentials, RoundTripsAnyBytes) {
    for (const std::string& plain : {std::string("a"), std::string(15, 'b'), std::string(16, 'c'),
                                     std::string("\0\xff\x80 ü", 6)}) {
        EXPECT_EQ(dp::decrypt_credential(dp::encrypt_credential(plain)), plain);
    }
}

TEST(Credentials, UndecryptableTextsThrow) {
    for (const std::string text : {"", "AAAA", "AAAAAAAAAAAAAAAAAAAAAA==", "!!!!"}) {
        EXPECT_ANY_THROW(dp::decrypt_credential(text)) << text;
    }
}

}  // namespace
