#include <benchmark/benchmark.h>

#include <beacon/beacon.h>

#include "answer_memo.h"
#include "decoder.h"
#include "sample_answer.h"

#include <memory>
#include <string>

namespace {

// The engine answers a repeated discovery answer from its memo; an engine
// without endpoints exposes that path here.
class engine : public dp::device_protocol {
public:
    engine()
        : dp::device_protocol(dp::device_protocol::client,
                              std::make_unique<dp::communication_udp_sockets>(
                                  dp::endpoint_factory{}, std::vector<dp::network_card_info>{})) {}
    std::unique_ptr<dp::event> run(const std::string& text) const {
        return decode(text.data(), static_cast<std::int32_t>(text.size()));
    }
};

const std::string id = "0f8fad5b-d9cb-469f-a165-70867728950e";

dp::discovery_request discovery_request() {
    dp::discovery_request r;
    r.set_request_id(id);
    return r;
}

dp::discovery_response discovery_response() {
    return sample_discovery_response(id);
}

// A text outside the plain ASCII subset (here a non-ASCII name) takes the
// decoder's slower path through nlohmann's parser.
dp::discovery_response discovery_response_non_ascii() {
    dp::discovery_response r = discovery_response();
    r.set_user_defined_name("Linie 4 Kamera \xc3\xbc");
    return r;
}

dp::configuration_request configuration_request() {
    dp::configuration_request r;
    r.set_request_id(id);
    r.set_article_number("1234-5678");
    r.set_serial_number("SN0012345678");
    r.set_ip("10.0.0.8");
    r.set_mask("255.255.255.0");
    r.set_gateway("10.0.0.254");
    r.set_user_defined_name("Line 4 camera");
    r.set_network_method(sdk::system::network_method_type::PERSISTENT_IP);
    r.set_username(dp::encrypt_credential("admin"));
    r.set_password(dp::encrypt_credential("secret"));
    return r;
}

dp::configuration_response configuration_response() {
    dp::configuration_response r;
    r.set_request_id(id);
    r.set_article_number("1234-5678");
    r.set_serial_number("SN0012345678");
    return r;
}

dp::localize_request localize_request() {
    dp::localize_request r;
    r.set_request_id(id);
    r.set_article_number("1234-5678");
    r.set_serial_number("SN0012345678");
    r.set_username(dp::encrypt_credential("admin"));
    r.set_password(dp::encrypt_credential("secret"));
    return r;
}

dp::localize_response localize_response() {
    dp::localize_response r;
    r.set_request_id(id);
    r.set_article_number("1234-5678");
    r.set_serial_number("SN0012345678");
    r.set_result(sdk::system::operation_result::ACCEPTED);
    return r;
}

template <typename Make>
void encode(benchmark::State& state, Make make) {
    const auto message = make();
    for (auto _ : state) {
        benchmark::DoNotOptimize(dp::encode(message));
    }
    state.SetItemsProcessed(state.iterations());
}

// The decoder itself: the same text again and again would otherwise be the
// memo's.
template <typename Make>
void decode(benchmark::State& state, Make make) {
    const std::string text = dp::encode(make());
    for (auto _ : state) {
        auto record = dp::decode_datagram(text.data(), text.size());
        if (!record) {
            state.SkipWithError("datagram did not decode");
            break;
        }
        benchmark::DoNotOptimize(record);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

// A discovery answer repeated with another request id each time, as a
// device answers every scan, and taken as seen: the receive thread's whole
// work on a settled device's answer (id found, text looked up and compared).
void repeat_taken_as_seen(benchmark::State& state) {
    auto answer = discovery_response();
    const std::string ids[] = {id, "7c9e6679-7425-40de-944b-e07fc1f90ae7"};
    std::string texts[2];
    for (int i = 0; i < 2; ++i) {
        answer.set_request_id(ids[i]);
        texts[i] = dp::encode(answer);
    }
    dp::answer_memo memo(16);
    memo.remember(texts[0], *dp::decode_datagram(texts[0].data(), texts[0].size()));
    const std::function<bool(std::uint64_t)> take = [](std::uint64_t) { return true; };
    std::size_t turn = 0;
    for (auto _ : state) {
        bool taken = false;
        benchmark::DoNotOptimize(memo.recall(texts[turn++ % 2], take, &taken));
        if (!taken) {
            state.SkipWithError("repeat not taken");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// The same for many devices answering in turn, as a scan's answers come:
// by the time a device answers again its memo entry and text have gone
// cold. The datagram itself is warm, as one just read from the socket is.
void repeats_of_many_devices(benchmark::State& state) {
    const auto devices = static_cast<std::size_t>(state.range(0));
    auto answer = discovery_response();
    answer.set_serial_number("SN0000000000");
    std::string datagram = dp::encode(answer);
    const std::size_t serial_at = datagram.find("SN0000000000") + 2;
    const std::size_t id_at = datagram.find(id);
    const auto become = [&](std::size_t device, bool other_id) {
        for (std::size_t digit = 0, rest = device; digit < 10; ++digit, rest /= 10) {
            datagram[serial_at + 9 - digit] = static_cast<char>('0' + rest % 10);
        }
        datagram[id_at] = other_id ? '1' : '0';
    };
    dp::answer_memo memo(devices);
    for (std::size_t device = 0; device < devices; ++device) {
        become(device, false);
        memo.remember(datagram, *dp::decode_datagram(datagram.data(), datagram.size()));
    }
    const std::function<bool(std::uint64_t)> take = [](std::uint64_t) { return true; };
    std::size_t turn = 0;
    for (auto _ : state) {
        become(turn % devices, (turn / devices) % 2 == 0);
        ++turn;
        bool taken = false;
        benchmark::DoNotOptimize(memo.recall(datagram, take, &taken));
        if (!taken) {
            state.SkipWithError("repeat not taken");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void credential(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(dp::decrypt_credential(dp::encrypt_credential("secret")));
    }
}

}  // namespace

BENCHMARK_CAPTURE(encode, discovery_request, discovery_request);
BENCHMARK_CAPTURE(encode, discovery_response, discovery_response);
BENCHMARK_CAPTURE(encode, configuration_request, configuration_request);
BENCHMARK_CAPTURE(encode, configuration_response, configuration_response);
BENCHMARK_CAPTURE(encode, localize_request, localize_request);
BENCHMARK_CAPTURE(encode, localize_response, localize_response);
BENCHMARK_CAPTURE(decode, discovery_request, discovery_request);
BENCHMARK_CAPTURE(decode, discovery_response, discovery_response);
BENCHMARK_CAPTURE(decode, discovery_response_non_ascii, discovery_response_non_ascii);
BENCHMARK_CAPTURE(decode, configuration_request, configuration_request);
BENCHMARK_CAPTURE(decode, configuration_response, configuration_response);
BENCHMARK_CAPTURE(decode, localize_request, localize_request);
BENCHMARK_CAPTURE(decode, localize_response, localize_response);
BENCHMARK(repeat_taken_as_seen);
BENCHMARK(repeats_of_many_devices)->Arg(1000)->Arg(50000);
BENCHMARK(credential);
