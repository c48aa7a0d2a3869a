// The engine's datagram decoder (its own plain-JSON reader, nlohmann for
// everything else) next to simdjson's DOM parser for one discovery answer:
// the JSON layer alone and the whole decode to a record. Before the
// benchmarks it prints which of a set of edge-case texts each reader takes
// as JSON, since a faster reader is only of use if it rejects what the
// decoder rejects.

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <beacon/beacon.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "datagram_fields.h"
#include "decoder.h"
#include "sample_answer.h"
#include "validation.h"

namespace {

dp::discovery_response discovery_response() {
    return sample_discovery_response();
}

// simdjson wants SIMDJSON_PADDING readable bytes after the text; a datagram
// has to be copied into such a buffer first, which is part of its cost.
class simdjson_reader {
public:
    simdjson_reader() {
        if (parser_.allocate(dp::max_datagram_size, dp::max_nesting_depth) != simdjson::SUCCESS) {
            throw std::bad_alloc();
        }
    }

    simdjson::simdjson_result<simdjson::dom::element> parse(const char* data, std::size_t length) {
        padded_.assign(data, length);
        padded_.resize(length + simdjson::SIMDJSON_PADDING);
        return parser_.parse(padded_.data(), length, false);
    }

private:
    simdjson::dom::parser parser_;
    std::string padded_;
};

// The members of an object that a discovery answer reads, the last of a
// repeated key winning, as the engine's reader keeps them.
template <std::size_t N>
bool members(simdjson::dom::element node, const std::string_view (&keys)[N],
             simdjson::dom::element (&found)[N], bool (&present)[N]) {
    simdjson::dom::object object;
    if (node.get_object().get(object) != simdjson::SUCCESS) {
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        present[i] = false;
    }
    for (auto field : object) {
        for (std::size_t i = 0; i < N; ++i) {
            if (field.key == keys[i]) {
                found[i] = field.value;
                present[i] = true;
            }
        }
    }
    return true;
}

template <std::size_t N>
bool all(const bool (&present)[N]) {
    for (bool p : present) {
        if (!p) {
            return false;
        }
    }
    return true;
}

// The discovery answer as the engine's decoder reads it (same required
// members, types and checks), from simdjson's document.
std::unique_ptr<dp::event> simdjson_discovery_answer(simdjson_reader& reader, const char* data,
                                                     std::size_t length) {
    simdjson::dom::element root;
    if (reader.parse(data, length).get(root) != simdjson::SUCCESS) {
        return nullptr;
    }
    static constexpr std::string_view top_keys[] = {"id", "action", "results"};
    simdjson::dom::element top[3];
    bool has_top[3];
    if (!members(root, top_keys, top, has_top) || !all(has_top)) {
        return nullptr;
    }
    std::string_view id, action;
    if (top[0].get_string().get(id) || top[1].get_string().get(action) || action != "REPLY") {
        return nullptr;
    }
    static constexpr std::string_view result_keys[] = {"deviceDetails"};
    simdjson::dom::element results[1];
    bool has_results[1];
    if (!members(top[2], result_keys, results, has_results) || !all(has_results)) {
        return nullptr;
    }
    static constexpr std::string_view detail_keys[] = {
        "mac",           "hardwareVersion", "deviceType",      "deviceUrl",       "serialNumber",
        "articleNumber", "firmwareVersion", "userDefinedName", "manufactureDate", "manufacturer",
        "capabilities",  "authentication",  "network",         "deviceStatus"};
    simdjson::dom::element details[14];
    bool has_details[14];
    if (!members(results[0], detail_keys, details, has_details) || !all(has_details)) {
        return nullptr;
    }
    std::string_view texts[10];
    for (int i = 0; i < 10; ++i) {
        if (details[i].get_string().get(texts[i])) {
            return nullptr;
        }
    }
    std::uint64_t capabilities = 0;
    bool authentication = false;
    if (details[10].get_uint64().get(capabilities) || details[11].get_bool().get(authentication)) {
        return nullptr;
    }
    static constexpr std::string_view network_keys[] = {"ip", "mask", "gateway", "method"};
    simdjson::dom::element network[4];
    bool has_network[4];
    if (!members(details[12], network_keys, network, has_network) || !all(has_network)) {
        return nullptr;
    }
    std::string_view addresses[4];
    for (int i = 0; i < 4; ++i) {
        if (network[i].get_string().get(addresses[i])) {
            return nullptr;
        }
    }
    static constexpr std::string_view status_keys[] = {"state", "value", "info"};
    simdjson::dom::element status[3];
    bool has_status[3];
    if (!members(details[13], status_keys, status, has_status) || !all(has_status)) {
        return nullptr;
    }
    std::string_view state;
    std::int64_t value = 0;
    simdjson::dom::array info;
    if (status[0].get_string().get(state) || status[1].get_int64().get(value) ||
        status[2].get_array().get(info)) {
        return nullptr;
    }
    const std::string mac(texts[0]);
    const std::string ip(addresses[0]), mask(addresses[1]), gateway(addresses[2]);
    auto method = sdk::system::network_method_type_from_string(std::string(addresses[3]));
    if (!dp::validation::is_mac(mac) || !dp::validation::is_ip(ip) ||
        !dp::validation::is_ip(mask) || !dp::validation::is_ip(gateway) || !method) {
        return nullptr;
    }
    auto message = std::make_unique<dp::discovery_response>();
    for (auto line : info) {
        std::string_view text;
        if (line.get_string().get(text)) {
            return nullptr;
        }
        message->append_info_message(std::string(text));
    }
    message->set_request_id(std::string(id));
    message->set_mac(mac);
    message->set_hardware_version(std::string(texts[1]));
    message->set_device_type(std::string(texts[2]));
    message->set_device_url(std::string(texts[3]));
    message->set_serial_number(std::string(texts[4]));
    message->set_article_number(std::string(texts[5]));
    message->set_device_firmware(std::string(texts[6]));
    message->set_user_defined_name(std::string(texts[7]));
    message->set_manufacture_date(std::string(texts[8]));
    message->set_manufacturer(std::string(texts[9]));
    message->set_ip(ip);
    message->set_mask(mask);
    message->set_gateway(gateway);
    message->set_capability(static_cast<std::uint32_t>(capabilities));
    message->set_network_method(*method);
    thread_local std::string state_name;
    state_name.assign("DeviceState_").append(state);
    message->set_state(DeviceAdministrationFbbApi::device_state_from_string(state_name)
                           .value_or(DeviceAdministrationFbbApi::DeviceState::DeviceState_UNKNOWN));
    message->set_status_value(value);
    message->set_authentication(authentication);
    return message;
}

void engine_json(benchmark::State& state) {
    const std::string text = dp::encode(discovery_response());
    dp::datagram_fields fields;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fields.read(text.data(), text.size(), dp::max_nesting_depth));
    }
    state.SetItemsProcessed(state.iterations());
}

// An escape in a text is outside the plain subset: the decoder reads the
// datagram again with nlohmann.
void engine_json_escaped(benchmark::State& state) {
    auto answer = discovery_response();
    answer.set_user_defined_name("Line \\4 camera");
    const std::string text = dp::encode(answer);
    dp::datagram_fields fields;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fields.read(text.data(), text.size(), dp::max_nesting_depth));
    }
    state.SetItemsProcessed(state.iterations());
}

void simdjson_json(benchmark::State& state) {
    const std::string text = dp::encode(discovery_response());
    simdjson_reader reader;
    for (auto _ : state) {
        auto root = reader.parse(text.data(), text.size());
        benchmark::DoNotOptimize(root.error());
    }
    state.SetItemsProcessed(state.iterations());
}

void engine_decode(benchmark::State& state) {
    const std::string text = dp::encode(discovery_response());
    for (auto _ : state) {
        auto record = dp::decode_datagram(text.data(), text.size());
        if (!record) {
            state.SkipWithError("answer did not decode");
            break;
        }
        benchmark::DoNotOptimize(record);
    }
    state.SetItemsProcessed(state.iterations());
}

void simdjson_decode(benchmark::State& state) {
    const std::string text = dp::encode(discovery_response());
    simdjson_reader reader;
    for (auto _ : state) {
        auto record = simdjson_discovery_answer(reader, text.data(), text.size());
        if (!record) {
            state.SkipWithError("answer did not decode");
            break;
        }
        benchmark::DoNotOptimize(record);
    }
    state.SetItemsProcessed(state.iterations());
}

// Texts at the edges of JSON: 1 where a reader takes the text as JSON
// (nesting at most 32 deep), 0 where it does not.
void print_acceptance() {
    const std::string answer = dp::encode(discovery_response());
    const std::string nested_32 = std::string(32, '[') + std::string(32, ']');
    const std::string nested_33 = std::string(33, '[') + std::string(33, ']');
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"the answer", answer},
        {"the answer, text after it", answer + "x"},
        {"the answer, a second document after it", answer + "{}"},
        {"byte-order mark first", "\xef\xbb\xbf" + answer},
        {"lone high surrogate escape", R"({"a":"\ud800"})"},
        {"lone low surrogate escape", R"({"a":"\udc00"})"},
        {"escaped NUL", R"({"a":"\u0000"})"},
        {"raw control byte in a text", "{\"a\":\"\x01\"}"},
        {"byte 0xff in a text", "{\"a\":\"\xff\"}"},
        {"overlong UTF-8", "{\"a\":\"\xc0\xaf\"}"},
        {"UTF-8 surrogate (ED A0 80)", "{\"a\":\"\xed\xa0\x80\"}"},
        {"integer beyond 64 bits", R"({"a":123456789012345678901234567890})"},
        {"1e400", R"({"a":1e400})"},
        {"-0", R"({"a":-0})"},
        {"leading zero 01", R"({"a":01})"},
        {"NaN", R"({"a":NaN})"},
        {"trailing comma", R"({"a":1,})"},
        {"comment", "{\"a\":1 /* c */}"},
        {"single quotes", "{'a':1}"},
        {"repeated key", R"({"a":1,"a":2})"},
        {"scalar document", "7"},
        {"empty", ""},
        {"nesting 32", nested_32},
        {"nesting 33", nested_33},
        {"form feed as a blank", "{\f}"},
    };
    dp::datagram_fields fields;
    simdjson_reader reader;
    std::printf("%-42s engine simdjson\n", "JSON text");
    int differ = 0;
    for (const auto& c : cases) {
        const bool engine = fields.read(c.text.data(), c.text.size(), dp::max_nesting_depth);
        const bool simd = reader.parse(c.text.data(), c.text.size()).error() == simdjson::SUCCESS;
        differ += engine != simd;
        std::printf("%-42s %6d %8d%s\n", c.name, engine, simd, engine != simd ? "  <- differ" : "");
    }
    std::printf("%d of %zu differ\n", differ, sizeof cases / sizeof cases[0]);
    std::printf("answer: %zu bytes; simdjson implementation \"%s\"\n\n", answer.size(),
                simdjson::get_active_implementation()->name().c_str());
}

}  // namespace

BENCHMARK(engine_json);
BENCHMARK(engine_json_escaped);
BENCHMARK(simdjson_json);
BENCHMARK(engine_decode);
BENCHMARK(simdjson_decode);

int main(int argc, char** argv) {
    print_acceptance();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
