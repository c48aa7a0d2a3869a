// The engine's decoder against the DOM-based decoder it replaced (kept in
// reference_decoder.cpp): on the fuzz corpus, the kept crashes and
// systematic mutations of every message kind, both must produce the same
// record with the same fields, or both nothing.

#include <gtest/gtest.h>

#include <beacon/beacon.h>
#include <nlohmann/json.hpp>

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "answer_memo.h"
#include "decoder_probe.h"
#include "reference_decoder.h"

namespace {

using beacontest::decoder_probe;
using nlohmann::ordered_json;
using sdk::system::network_method_type;
using sdk::system::operation_result;
using State = DeviceAdministrationFbbApi::DeviceState;

// ---- describing a record completely (operator== skips some fields) ----

std::string quoted(const std::string& bytes) {
    std::ostringstream out;
    out << '"';
    for (unsigned char c : bytes) {
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            static const char* hex = "0123456789abcdef";
            out << "\\x" << hex[c >> 4] << hex[c & 15];
        } else {
            out << c;
        }
    }
    out << '"';
    return out.str();
}

std::string describe(const dp::event* record) {
    if (record == nullptr) {
        return "no event";
    }
    std::ostringstream out;
    out << "kind " << static_cast<int>(record->type_of_service()) << " id "
        << quoted(record->request_id());
    if (auto* r = dynamic_cast<const dp::discovery_response*>(record)) {
        out << " mac " << quoted(r->mac()) << " hw " << quoted(r->hardware_version()) << " type "
            << quoted(r->device_type()) << " url " << quoted(r->device_url()) << " serial "
            << quoted(r->serial_number()) << " article " << quoted(r->article_number())
            << " firmware " << quoted(r->device_firmware()) << " name "
            << quoted(r->user_defined_name()) << " date " << quoted(r->manufacture_date())
            << " maker " << quoted(r->manufacturer()) << " nic " << quoted(r->nic_name()) << " ip "
            << quoted(r->ip()) << " mask " << quoted(r->mask()) << " gateway "
            << quoted(r->gateway()) << " auth " << r->authentication() << " method "
            << static_cast<int>(r->network_method()) << " state " << static_cast<int>(r->state())
            << " value " << r->status_value() << " caps " << r->capability() << " info";
        for (const auto& line : r->info_messages()) {
            out << ' ' << quoted(line);
        }
    } else if (auto* c = dynamic_cast<const dp::configuration_request*>(record)) {
        out << " article " << quoted(c->article_number()) << " serial "
            << quoted(c->serial_number()) << " nic " << quoted(c->nic_name()) << " ip "
            << quoted(c->ip()) << " mask " << quoted(c->mask()) << " gateway "
            << quoted(c->gateway()) << " name " << quoted(c->user_defined_name()) << " user "
            << quoted(c->username()) << " password " << quoted(c->password()) << " method "
            << static_cast<int>(c->network_method());
    } else if (auto* c = dynamic_cast<const dp::configuration_response*>(record)) {
        out << " article " << quoted(c->article_number()) << " serial "
            << quoted(c->serial_number()) << " result " << static_cast<int>(c->result());
    } else if (auto* l = dynamic_cast<const dp::localize_request*>(record)) {
        out << " article " << quoted(l->article_number()) << " serial "
            << quoted(l->serial_number()) << " user " << quoted(l->username()) << " password "
            << quoted(l->password());
    } else if (auto* l = dynamic_cast<const dp::localize_response*>(record)) {
        out << " article " << quoted(l->article_number()) << " serial "
            << quoted(l->serial_number()) << " result " << static_cast<int>(l->result());
    } else if (dynamic_cast<const dp::discovery_request*>(record) == nullptr) {
        out << " of an unexpected class";
    }
    return out.str();
}

// Decodes every input with both decoders; fails with the first differences.
class Comparison {
public:
    void check(const std::string& input) {
        const auto now = probe_.decode(input.data(), static_cast<std::int32_t>(input.size()));
        const auto before = beacontest::reference::decode_datagram(input.data(), input.size());
        const std::string a = describe(now.get());
        const std::string b = describe(before.get());
        ++checked_;
        if (before) {
            ++accepted_;
        }
        if (a != b) {
            ++differences_;
            if (differences_ <= 10) {
                ADD_FAILURE() << "input " << quoted(input) << "\n  decoder:   " << a
                              << "\n  reference: " << b;
            }
        }
    }

    int checked() const { return checked_; }
    int accepted() const { return accepted_; }
    int differences() const { return differences_; }

private:
    decoder_probe probe_;
    int checked_ = 0;
    int accepted_ = 0;
    int differences_ = 0;
};

// ---- seed documents, one or more per message kind ----

// Plain ASCII texts are read by the decoder's fast reader, others by
// nlohmann's parser: the seeds come in both forms.
std::string discovery_response_text(const std::string& name = "Line 4 camera") {
    dp::discovery_response r;
    r.set_request_id("0f8fad5b-d9cb-469f-a165-70867728950e");
    r.set_mac("00:11:22:33:44:66");
    r.set_hardware_version("H2");
    r.set_device_type("Vision sensor");
    r.set_device_url("http://10.0.0.7/");
    r.set_serial_number("SN0012345678");
    r.set_article_number("1234-5678");
    r.set_device_firmware("4.12.3");
    r.set_user_defined_name(name);
    r.set_manufacture_date("2024-02-29");
    r.set_manufacturer("M");
    r.set_ip("10.0.0.7");
    r.set_mask("255.255.255.0");
    r.set_gateway("10.0.0.254");
    r.set_authentication(true);
    r.set_network_method(network_method_type::DHCP);
    r.set_state(State::DeviceState_WARNING);
    r.set_status_value(-5);
    r.append_info_message("first");
    r.append_info_message("");
    r.set_capability(11u);
    return dp::encode(r);
}

std::string configuration_request_text() {
    dp::configuration_request c;
    c.set_request_id("q1");
    c.set_article_number("A");
    c.set_serial_number("S");
    c.set_nic_name("eth1");
    c.set_ip("10.0.0.8");
    c.set_mask("255.0.0.0");
    c.set_gateway("10.0.0.1");
    c.set_user_defined_name("N");
    c.set_network_method(network_method_type::PERSISTENT_IP);
    c.set_username(dp::encrypt_credential("admin"));
    c.set_password(dp::encrypt_credential(std::string(60, 'p')));
    return dp::encode(c);
}

std::string localize_request_text() {
    dp::localize_request l;
    l.set_request_id("q2");
    l.set_article_number("A");
    l.set_serial_number("S");
    l.set_username(dp::encrypt_credential(""));
    l.set_password(dp::encrypt_credential("secret"));
    return dp::encode(l);
}

std::vector<std::string> seeds() {
    dp::discovery_request request;
    request.set_request_id("123e4567-e89b-12d3-a456-426614174000");
    dp::configuration_response configured;
    configured.set_request_id("q1");
    configured.set_article_number("A");
    configured.set_serial_number("S");
    configured.set_result(operation_result::RESERVED_IP);
    dp::localize_response localized;
    localized.set_request_id("q2");
    localized.set_article_number("A");
    localized.set_serial_number("S");
    localized.set_result(operation_result::BUSY);

    // A reply holding all three kinds of results: every one must read, the
    // last in key order wins.
    ordered_json all = ordered_json::parse(discovery_response_text());
    all["articleNumber"] = "A";
    all["serialNumber"] = "S";
    all["results"]["configuration"] = "ERROR";
    all["results"]["localize"] = "ACCEPTED";
    ordered_json get_with_everything = ordered_json::parse(dp::encode(request));
    get_with_everything["parameters"]["configuration"] = nullptr;
    get_with_everything["parameters"]["credentials"] = {{"username", ""}, {"password", ""}};

    return {dp::encode(request),
            discovery_response_text(),
            discovery_response_text("Linie 4 Kamera \xc3\xbc"),
            configuration_request_text(),
            dp::encode(configured),
            localize_request_text(),
            dp::encode(localized),
            all.dump(),
            get_with_everything.dump()};
}

std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> contents;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return contents;
    }
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        std::ifstream file(folder + "/" + name, std::ios::binary);
        contents.emplace_back(std::istreambuf_iterator<char>(file),
                              std::istreambuf_iterator<char>());
    }
    closedir(dir);
    return contents;
}

// ---- mutations of one member of a document, written out as text ----

// A path names a value from the top: object keys and array indices.
using Path = std::vector<std::string>;

void paths_of(const ordered_json& value, Path& at, std::vector<Path>& out) {
    if (value.is_object()) {
        for (const auto& member : value.items()) {
            at.push_back(member.key());
            out.push_back(at);
            paths_of(member.value(), at, out);
            at.pop_back();
        }
    } else if (value.is_array()) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            at.push_back(std::to_string(i));
            out.push_back(at);
            paths_of(value[i], at, out);
            at.pop_back();
        }
    }
}

// What happens to the member at the target path while the document is written.
struct Mutation {
    enum Kind {
        remove,       // left out
        replace,      // its value becomes `text`
        before,       // a duplicate with value `text` comes first (the original wins)
        after,        // a duplicate with value `text` comes last (it wins)
        rename,       // its key becomes `text`
        escape_key,   // its key is written with \u escapes (the same key)
        wrap_array,   // its value is put into an array
        wrap_object,  // its value is put into an object
    } kind;
    std::string text;
};

std::string escaped_key(const std::string& key) {
    std::string out;
    static const char* hex = "0123456789abcdef";
    for (unsigned char c : key) {
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

void write(const ordered_json& value, Path& at, const Path& target, const Mutation& mutation,
           bool reversed, std::string& out);

void write_member(const std::string& key, const ordered_json& value, Path& at, const Path& target,
                  const Mutation& mutation, bool reversed, bool& first, std::string& out) {
    at.push_back(key);
    const bool hit = at == target;
    auto separate = [&] {
        if (!first) {
            out += ',';
        }
        first = false;
    };
    auto key_text = [&](const std::string& k) { return ordered_json(k).dump() + ':'; };
    if (hit && mutation.kind == Mutation::remove) {
        at.pop_back();
        return;
    }
    if (hit && mutation.kind == Mutation::before) {
        separate();
        out += key_text(key) + mutation.text;
    }
    separate();
    if (hit && mutation.kind == Mutation::rename) {
        out += key_text(mutation.text);
    } else if (hit && mutation.kind == Mutation::escape_key) {
        out += '"' + escaped_key(key) + "\":";
    } else {
        out += key_text(key);
    }
    write(value, at, target, mutation, reversed, out);
    if (hit && mutation.kind == Mutation::after) {
        separate();
        out += key_text(key) + mutation.text;
    }
    at.pop_back();
}

void write(const ordered_json& value, Path& at, const Path& target, const Mutation& mutation,
           bool reversed, std::string& out) {
    const bool hit = !at.empty() && at == target;
    if (hit && mutation.kind == Mutation::replace) {
        out += mutation.text;
        return;
    }
    if (hit && mutation.kind == Mutation::wrap_array) {
        out += '[';
    } else if (hit && mutation.kind == Mutation::wrap_object) {
        out += "{\"value\":";
    }
    if (value.is_object()) {
        out += '{';
        bool first = true;
        std::vector<std::pair<std::string, const ordered_json*>> members;
        for (const auto& member : value.items()) {
            members.emplace_back(member.key(), &member.value());
        }
        if (reversed) {
            std::reverse(members.begin(), members.end());
        }
        for (const auto& [key, member] : members) {
            write_member(key, *member, at, target, mutation, reversed, first, out);
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        bool first = true;
        for (std::size_t i = 0; i < value.size(); ++i) {
            at.push_back(std::to_string(i));
            const bool element_hit = at == target;
            if (!(element_hit && mutation.kind == Mutation::remove)) {
                if (!first) {
                    out += ',';
                }
                first = false;
                write(value[i], at, target, mutation, reversed, out);
            }
            at.pop_back();
        }
        out += ']';
    } else {
        out += value.dump();
    }
    if (hit && (mutation.kind == Mutation::wrap_array || mutation.kind == Mutation::wrap_object)) {
        out += mutation.kind == Mutation::wrap_array ? "]" : "}";
    }
}

std::string written(const ordered_json& document, const Path& target, const Mutation& mutation,
                    bool reversed = false) {
    std::string out;
    Path at;
    write(document, at, target, mutation, reversed, out);
    return out;
}

// Values every member is tried with: each JSON type, the boundaries of the
// number conversions, enumerator texts in and out of case, valid and invalid
// addresses and credentials.
std::vector<std::string> replacement_values() {
    return {"null",
            "true",
            "false",
            "0",
            "-0",
            "1",
            "-1",
            "11",
            "0.0",
            "1.0",
            "9.0",
            "-5.5",
            "1e2",
            "4294967295",
            "4294967296",
            "4294967297",
            "-4294967297",
            "9223372036854775807",
            "9223372036854775808",
            "-9223372036854775808",
            "-9223372036854775809",
            "18446744073709551615",
            "18446744073709551616",
            "9.1e18",
            "9.2e18",
            "-9.2e18",
            "9.3e18",
            "-9.3e18",
            "1e300",
            "-1e300",
            "1e-400",
            "4294967296.5",
            R"("")",
            R"("x")",
            R"("11")",
            R"("true")",
            R"("null")",
            R"("ACTIVE")",
            R"("active")",
            R"("UNKNOWN")",
            R"("LOCALIZE")",
            R"("DeviceState_ACTIVE")",
            R"("DHCP")",
            R"("dhcp")",
            R"("PERSISTENT_IP")",
            R"("BUSY")",
            R"("RESERVED_IP")",
            R"("ERROR")",
            R"("GET")",
            R"("SET")",
            R"("REPLY")",
            R"("REBOOT")",
            R"("GET\u0000")",
            R"("\u0000")",
            R"("10.0.0.1")",
            R"("01.002.3.4")",
            R"("256.0.0.1")",
            R"("1.2.3")",
            R"("00-11:22-33:44-55")",
            R"("0011.2233.4455")",
            R"("00:11:22:33:44")",
            R"("00:11:22:33:44:55 ")",
            R"("\u00fc\ud83d\ude00")",
            "[]",
            R"(["a"])",
            R"(["a",1])",
            R"(["a",null])",
            R"([["a"]])",
            "{}",
            R"({"x":1})",
            R"({"deviceDetails":null})",
            R"({"localize":"BUSY"})",
            R"({"configuration":"ERROR"})",
            R"({"configuration":"ERROR","deviceDetails":{},"localize":"BUSY"})",
            ordered_json(dp::encrypt_credential("u")).dump(),
            R"("AAAA")",
            R"("!!notbase64==")",
            R"("Q8Uws6cF9ywOog5WeYQHhA==")"};
}

// ---- the tests ----

TEST(DecoderEquivalence, FuzzCorpusAndKeptCrashesDecodeAsTheReference) {
    Comparison comparison;
    int files = 0;
    for (const char* folder : {"/corpus/datagram", "/regressions/datagram"}) {
        for (const auto& input : files_in(std::string(BEACON_FUZZ_DIR) + folder)) {
            comparison.check(input);
            ++files;
        }
    }
    EXPECT_GE(files, 11);
    EXPECT_GT(comparison.accepted(), 5);
    EXPECT_EQ(comparison.differences(), 0);
}

TEST(DecoderEquivalence, AnyMemberMissingMistypedDuplicatedOrRenamedDecodesAsTheReference) {
    Comparison comparison;
    const auto values = replacement_values();
    for (const auto& seed : seeds()) {
        const ordered_json document = ordered_json::parse(seed);
        ASSERT_TRUE(beacontest::reference::decode_datagram(seed.data(), seed.size()))
            << "seed not accepted: " << seed;
        comparison.check(seed);
        std::vector<Path> paths;
        Path at;
        paths_of(document, at, paths);
        for (const auto& path : paths) {
            comparison.check(written(document, path, {Mutation::remove, {}}));
            comparison.check(written(document, path, {Mutation::escape_key, {}}));
            comparison.check(written(document, path, {Mutation::wrap_array, {}}));
            comparison.check(written(document, path, {Mutation::wrap_object, {}}));
            const std::string& key = path.back();
            std::string upper = key;
            for (char& c : upper) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            std::string capital = key;
            capital[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(capital[0])));
            for (const auto& name : {upper, capital, key + " ", std::string(" ") + key,
                                     key + std::string(1, '\0'), std::string("x")}) {
                comparison.check(written(document, path, {Mutation::rename, name}));
            }
            for (const auto& value : values) {
                comparison.check(written(document, path, {Mutation::replace, value}));
                comparison.check(written(document, path, {Mutation::before, value}));
                comparison.check(written(document, path, {Mutation::after, value}));
            }
        }
        // Member order does not matter to the reader.
        comparison.check(written(document, {}, {Mutation::remove, {}}, true));
    }
    // Both outcomes are well represented, so agreement means something.
    EXPECT_GT(comparison.checked(), 20000);
    EXPECT_GT(comparison.accepted(), 2000);
    EXPECT_GT(comparison.checked() - comparison.accepted(), 5000);
    EXPECT_EQ(comparison.differences(), 0);
}

TEST(DecoderEquivalence, TruncatedCorruptedAndPaddedTextsDecodeAsTheReference) {
    Comparison comparison;
    std::mt19937 random(20240229);
    const std::string interesting = "{}[]\":,\\ 0123456789.-+eEtrufalsn\x80\xc3\xff\t\n";
    for (const auto& seed : seeds()) {
        for (std::size_t length = 1; length < seed.size(); ++length) {
            comparison.check(seed.substr(0, length));
        }
        for (int i = 0; i < 3000; ++i) {
            std::string text = seed;
            const int edits = 1 + static_cast<int>(random() % 3);
            for (int e = 0; e < edits; ++e) {
                const std::size_t at = random() % text.size();
                const char c = random() % 2 == 0 ? interesting[random() % interesting.size()]
                                                 : static_cast<char>(random() % 256);
                switch (random() % 3) {
                    case 0:
                        text[at] = c;
                        break;
                    case 1:
                        text.insert(at, 1, c);
                        break;
                    default:
                        text.erase(at, 1);
                        break;
                }
            }
            if (!text.empty()) {
                comparison.check(text);
            }
        }
        const ordered_json document = ordered_json::parse(seed);
        comparison.check(document.dump(2));
        comparison.check("\xef\xbb\xbf" + seed);
        comparison.check(" \t\r\n" + seed + " \n");
        comparison.check(seed + "x");
        comparison.check(seed + "{}");
        comparison.check(seed + std::string(1, '\0'));
        comparison.check(document.dump(-1, ' ', true));
    }
    EXPECT_GT(comparison.accepted(), 1000);
    EXPECT_EQ(comparison.differences(), 0);
}

// Well-formed UTF-8 is read as it is, anything else is not JSON: every
// lead byte with second, third and fourth bytes at the edges of the ranges.
TEST(DecoderEquivalence, Utf8InTextsAndKeysDecodesAsTheReference) {
    Comparison comparison;
    const std::string reply = discovery_response_text();
    const std::size_t name = reply.find("Line 4 camera");
    const std::size_t key = reply.find("hostID");
    ASSERT_NE(name, std::string::npos);
    ASSERT_NE(key, std::string::npos);
    const unsigned char edges[] = {0x7f, 0x80, 0x8f, 0x90, 0x9f, 0xa0, 0xbf, 0xc0};
    for (int lead = 0x80; lead <= 0xff; ++lead) {
        for (unsigned char second : edges) {
            std::vector<std::string> sequences;
            const std::string start = {static_cast<char>(lead), static_cast<char>(second)};
            sequences.push_back(std::string(1, static_cast<char>(lead)));
            sequences.push_back(start);
            for (unsigned char third : {0x7f, 0x80, 0xbf, 0xc0}) {
                sequences.push_back(start + static_cast<char>(third));
                sequences.push_back(start + static_cast<char>(third) + '\x80');
                sequences.push_back(start + static_cast<char>(third) + '\xbf');
                sequences.push_back(start + static_cast<char>(third) + '\xc0');
            }
            for (const auto& sequence : sequences) {
                std::string in_text = reply;
                in_text.insert(name + 4, sequence);
                comparison.check(in_text);
                std::string in_key = reply;
                in_key.insert(key + 4, sequence);
                comparison.check(in_key);
            }
        }
    }
    EXPECT_GT(comparison.accepted(), 1000);
    EXPECT_EQ(comparison.differences(), 0);
}

TEST(DecoderEquivalence, NestingAndSizeLimitsMatchTheReference) {
    Comparison comparison;
    const std::string get = R"({"id":"x","action":"GET","parameters":{"deviceDetails":)";
    for (int depth : {30, 31, 32, 33, 200}) {
        comparison.check(get + std::string(depth, '[') + std::string(depth, ']') + "}}");
        comparison.check(get + "\"" + std::string(depth, '[') + "\"}}");
    }
    const std::string reply = discovery_response_text();
    std::string big = reply;
    const std::size_t maker = big.find(R"("manufacturer":"M")");
    ASSERT_NE(maker, std::string::npos);
    big.insert(maker + 16, std::string(65536 - reply.size(), 'M'));
    ASSERT_EQ(big.size(), 65536u);
    comparison.check(big);
    big.insert(maker + 16, "M");
    comparison.check(big);
    // Long info lists, one that fills a datagram, then a short one again.
    for (int lines : {40, 10000, 2}) {
        std::string info = "[";
        for (int i = 0; i < lines; ++i) {
            info += i == 0 ? "\"l\"" : ",\"l\"";
        }
        std::string reply_with_info = reply;
        const std::size_t list = reply_with_info.find(R"("info":[)");
        ASSERT_NE(list, std::string::npos);
        const std::size_t list_end = reply_with_info.find(']', list);
        reply_with_info.replace(list + 7, list_end + 1 - (list + 7), info + "]");
        comparison.check(reply_with_info);
    }
    // Accepted: the 32 levels of the deepest array that fits (two are the
    // envelope's), the five texts full of brackets, the 65,536-byte reply and
    // the three with info lists.
    EXPECT_EQ(comparison.accepted(), 1 + 5 + 1 + 3);
    EXPECT_EQ(comparison.differences(), 0);
}

// ---- repeated answers ----

std::string with_replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// An answer remembered, then a text that differs from it: only a change of
// the id's value is recalled, and what is recalled is what the reference
// makes of the text; anything else (one byte anywhere, another length, the
// id spelt otherwise or twice) is left to the decoder.
TEST(AnswerMemo, OnlyTheIdMayDifferAndTheRecordIsTheReferences) {
    const std::string id = "0f8fad5b-d9cb-469f-a165-70867728950e";
    const std::string base = discovery_response_text();
    const std::string named_id = discovery_response_text("id");
    struct Row {
        const char* name;
        std::string remembered;
        std::string text;
        bool recalled;
    };
    std::string last_byte = base;
    last_byte.back() = ' ';
    std::string first_byte = base;
    first_byte.front() = ' ';
    const std::vector<Row> rows = {
        {"the same text again", base, base, true},
        {"another id of the same length", base,
         with_replaced(base, id, "1f8fad5b-d9cb-469f-a165-70867728950f"), true},
        {"a longer id", base, with_replaced(base, id, id + "-and-more"), true},
        {"a shorter id", base, with_replaced(base, id, "q"), true},
        {"an empty id", base, with_replaced(base, id, ""), true},
        {"an id that reads id", base, with_replaced(base, id, "id"), true},
        {"an id of punctuation", base, with_replaced(base, id, " !#$%&'()*+,-./:;<=>?@[]^_`{|}~"),
         true},
        {"the last byte differs", base, last_byte, false},
        {"the first byte differs", base, first_byte, false},
        {"one byte longer", base, base + " ", false},
        {"one byte shorter", base, base.substr(0, base.size() - 1), false},
        {"a name of the same length", base, with_replaced(base, "Line 4 camera", "Line 5 camera"),
         false},
        {"another status value", base, with_replaced(base, "-5", "-6"), false},
        {"an escape in the id", base, with_replaced(base, id, "0f8f\\u0061d5b"), false},
        {"an escaped id key", base, with_replaced(base, "\"id\"", "\"i\\u0064\""), false},
        {"a second id member", base, with_replaced(base, "\"id\":", "\"id\":\"x\",\"id\":"), false},
        {"a space before the id's value", base, with_replaced(base, "\"id\":", "\"id\": "), false},
        {"a control character in the id", base, with_replaced(base, id, "a\tb"), false},
        {"a byte above ASCII in the id", base, with_replaced(base, id, "\xc3\xbc"), false},
        {"an id that is no text", base, with_replaced(base, "\"" + id + "\"", "7"), false},
        {"a text that reads id elsewhere", named_id,
         with_replaced(named_id, id, "1f8fad5b-d9cb-469f-a165-70867728950f"), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        dp::answer_memo memo(16);
        const auto first =
            beacontest::reference::decode_datagram(row.remembered.data(), row.remembered.size());
        ASSERT_TRUE(first);
        const std::uint64_t number = memo.remember(row.remembered, *first);
        EXPECT_TRUE(!row.recalled || number != 0);
        // The number tells repeats apart from other texts: only a recall has it.
        EXPECT_EQ(memo.recall(row.text), row.recalled ? number : 0u);
        if (row.recalled) {
            // A repeat may be taken as seen without a decode: the reference
            // reads it as the remembered answer, the id aside.
            auto repeat = beacontest::reference::decode_datagram(row.text.data(), row.text.size());
            ASSERT_TRUE(repeat);
            repeat->set_request_id(first->request_id());
            EXPECT_EQ(describe(repeat.get()), describe(first.get()));
        }
        bool taken = false;
        std::vector<std::uint64_t> offered;
        memo.recall(
            row.text,
            [&](std::uint64_t n) {
                offered.push_back(n);
                return true;
            },
            &taken);
        EXPECT_EQ(taken, row.recalled);
        EXPECT_EQ(offered,
                  row.recalled ? std::vector<std::uint64_t>{number} : std::vector<std::uint64_t>{});
    }
}

TEST(AnswerMemo, KeepsTheNewestTextPerDeviceAndStartsAfreshWhenFull) {
    const auto record_of = [](const std::string& text) {
        return beacontest::reference::decode_datagram(text.data(), text.size());
    };
    const std::string before = discovery_response_text("before");
    const std::string after = discovery_response_text("after");
    dp::answer_memo memo(2);
    const std::uint64_t first = memo.remember(before, *record_of(before));
    const std::uint64_t second = memo.remember(after, *record_of(after));
    EXPECT_NE(first, second);
    // The same text again (two cards decoding it at once) keeps its number.
    EXPECT_EQ(memo.remember(after, *record_of(after)), second);
    // Numbers are the process's: an engine made later never reuses one.
    dp::answer_memo later(2);
    const std::uint64_t third = later.remember(before, *record_of(before));
    EXPECT_NE(third, first);
    EXPECT_NE(third, second);
    EXPECT_EQ(memo.size(), 1u);
    EXPECT_FALSE(memo.recall(before));
    EXPECT_TRUE(memo.recall(after));

    // Other kinds of records are decoded every time.
    const std::string localized = seeds()[6];
    EXPECT_EQ(memo.remember(localized, *record_of(localized)), 0u);
    EXPECT_FALSE(memo.recall(localized));

    const auto of_serial = [](const std::string& serial) {
        return with_replaced(discovery_response_text(), "SN0012345678", serial);
    };
    memo.remember(of_serial("S2"), *record_of(of_serial("S2")));
    EXPECT_EQ(memo.size(), 2u);
    memo.remember(of_serial("S3"), *record_of(of_serial("S3")));
    EXPECT_EQ(memo.size(), 1u);
    EXPECT_TRUE(memo.recall(of_serial("S3")));
    EXPECT_FALSE(memo.recall(after));
}

// A fleet's answers differ in a few values of one outline; each is recalled
// as itself only, and so is each text of other outlines.
TEST(AnswerMemo, AFleetsTextsAreToldApart) {
    const auto record_of = [](const std::string& text) {
        return beacontest::reference::decode_datagram(text.data(), text.size());
    };
    const std::string base = discovery_response_text();
    std::vector<std::string> fleet;
    for (int k = 0; k < 40; ++k) {
        std::string text = with_replaced(base, "SN0012345678", "SN" + std::to_string(1000 + k * 7));
        text = with_replaced(text, "Line 4 camera", "Cam " + std::string(k % 5, '+'));
        fleet.push_back(with_replaced(text, "10.0.0.7/", "10.0." + std::to_string(k) + ".7/"));
    }
    for (int k = 0; k < 8; ++k) {
        std::string members;
        for (int n = 0; n <= k; ++n) {
            members += "\"x\":0,";
        }
        // Other serial numbers: the memo keeps one text per device.
        fleet.push_back(with_replaced(with_replaced(base, "\"id\":", members + "\"id\":"),
                                      "SN0012345678", "SX" + std::to_string(k)));
    }
    dp::answer_memo memo(fleet.size());
    std::vector<std::uint64_t> numbers;
    for (const auto& text : fleet) {
        numbers.push_back(memo.remember(text, *record_of(text)));
        ASSERT_NE(numbers.back(), 0u);
    }
    EXPECT_EQ(memo.size(), fleet.size());
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(memo.recall(fleet[i]), numbers[i]);
        EXPECT_EQ(std::count(numbers.begin(), numbers.end(), numbers[i]), 1);
    }
    // Any one byte of a fleet's text changed, the id's aside, is no
    // remembered text.
    const std::string& text = fleet[17];
    const std::string id = "0f8fad5b-d9cb-469f-a165-70867728950e";
    const std::size_t id_at = text.find(id);
    ASSERT_NE(id_at, std::string::npos);
    for (std::size_t at = 0; at < text.size(); ++at) {
        std::string other = text;
        other[at] = other[at] == 'x' ? 'y' : 'x';
        const bool in_id = at >= id_at && at < id_at + id.size();
        EXPECT_EQ(memo.recall(other), in_id ? numbers[17] : 0u) << at;
    }
}

// The engine decodes every datagram through its memo; a repeated answer
// must read exactly as the reference reads it, whatever came before.
TEST(AnswerMemo, RepeatedAnswersThroughTheEngineDecodeAsTheReference) {
    Comparison comparison;
    const std::string base = discovery_response_text();
    comparison.check(base);
    for (const auto& id : {"a", "", "0f8fad5b-d9cb-469f-a165-70867728950e", "x y"}) {
        comparison.check(with_replaced(base, "0f8fad5b-d9cb-469f-a165-70867728950e", id));
    }
    for (std::size_t at = 0; at < base.size(); ++at) {
        std::string text = base;
        text[at] = text[at] == 'x' ? 'y' : 'x';
        comparison.check(text);
        comparison.check(base);
    }
    EXPECT_GT(comparison.accepted(), static_cast<int>(base.size()));
    EXPECT_EQ(comparison.differences(), 0);
}

}  // namespace
