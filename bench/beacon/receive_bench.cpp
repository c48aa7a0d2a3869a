// The engine's receive path (datagram -> decode -> queue -> get_next_event)
// next to a bare recv loop on a socket set up the same way, both fed by one
// sender over loopback inside a private network namespace of this process.

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

#include <beacon/beacon.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int datagrams = 20000;
// In flight at most this many, so neither receiver ever loses a datagram to
// a full socket buffer and both are measured at their own pace.
constexpr int window = 2000;
constexpr auto deadline = std::chrono::seconds(20);
constexpr unsigned short bare_port = 34002;

bool enter_private_namespace() {
    if (unshare(CLONE_NEWNET) != 0) {
        std::perror("unshare(CLONE_NEWNET) (run as root)");
        return false;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    close(fd);
    if (!up) {
        std::perror("bringing lo up");
    }
    return up;
}

std::string answer_text() {
    dp::discovery_response r;
    r.set_request_id("0f8fad5b-d9cb-469f-a165-70867728950e");
    r.set_mac("00:11:22:33:44:66");
    r.set_device_type("Vision sensor");
    r.set_serial_number("SN0012345678");
    r.set_article_number("1234-5678");
    r.set_device_firmware("4.12.3");
    r.set_user_defined_name("Line 4 camera");
    r.set_ip("127.0.0.1");
    r.set_mask("255.0.0.0");
    r.set_network_method(sdk::system::network_method_type::DHCP);
    r.set_state(DeviceAdministrationFbbApi::DeviceState::DeviceState_ACTIVE);
    r.set_capability(11u);
    return dp::encode(r);
}

int sender_socket() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    return fd;
}

// Sends `datagrams` copies, keeping at most `window` ahead of `received`.
void send_all(int fd, unsigned short port, const std::string& text,
              const std::atomic<int>& received, const std::atomic<bool>& abort) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int sent = 0; sent < datagrams && !abort;) {
        if (sent - received.load() >= window) {
            std::this_thread::yield();
            continue;
        }
        if (sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
            static_cast<ssize_t>(text.size())) {
            ++sent;
        }
    }
}

void bare_recv(benchmark::State& state) {
    const std::string text = answer_text();
    const int sender = sender_socket();
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const int buffer = 8 * 1024 * 1024;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
    timeval tick{0, 100000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(bare_port);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        state.SkipWithError("bind failed");
        return;
    }
    std::vector<char> data(65536);
    for (auto _ : state) {
        std::atomic<int> received{0};
        std::atomic<bool> abort{false};
        const auto start = Clock::now();
        std::thread feed([&] { send_all(sender, bare_port, text, received, abort); });
        while (received < datagrams && Clock::now() - start < deadline) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = recvfrom(fd, data.data(), data.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &length);
            if (n > 0) {
                // Copying payload and sender text is what any callback gets.
                std::string payload(data.data(), static_cast<std::size_t>(n));
                char ip[INET_ADDRSTRLEN];
                inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
                benchmark::DoNotOptimize(payload);
                ++received;
            }
        }
        abort = true;
        feed.join();
        if (received < datagrams) {
            state.SkipWithError("datagrams lost or too slow");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * datagrams);
    close(fd);
    close(sender);
}

// The engine as the program runs it: repeats of a device whose answer
// changed nothing are taken by a repeat filter (a lookup of the key and a
// time noted, as the program's seen board does) and never queued. `settled`
// false: every answer is queued as a record.
void receive_through_engine(benchmark::State& state, bool settled) {
    const std::string text = answer_text();
    const int sender = sender_socket();
    std::unique_ptr<dp::idevice_protocol> engine;
    std::fflush(stdout);
    const int saved = dup(1);
    // The engine reports its bind on stdout; keep the benchmark table clean.
    freopen("/dev/null", "w", stdout);
    engine = dp::device_protocol::instance(dp::device_protocol::client,
                                           {{"127.0.0.1", "255.0.0.0", "00:00:00:00:00:00"}});
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::atomic<int> received{0};
    std::mutex board_lock;
    std::unordered_map<std::uint64_t, std::atomic<std::int64_t>> seen;
    if (settled) {
        engine->set_repeat_filter([&](std::uint64_t key, const std::string&) {
            std::lock_guard<std::mutex> lock(board_lock);
            const auto now = Clock::now().time_since_epoch().count();
            seen[key].store(now);
            ++received;
            return true;
        });
    }
    for (auto _ : state) {
        received = 0;
        std::atomic<bool> abort{false};
        const auto start = Clock::now();
        std::thread feed(
            [&] { send_all(sender, sdk::system::response_port, text, received, abort); });
        while (received < datagrams && Clock::now() - start < deadline) {
            if (auto item = engine->get_next_event(settled ? 1 : 10)) {
                ++received;
            }
        }
        abort = true;
        feed.join();
        if (received < datagrams) {
            state.SkipWithError("datagrams lost or too slow");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * datagrams);
    close(sender);
}

void engine_receive(benchmark::State& state) {
    receive_through_engine(state, false);
}

void engine_receive_settled(benchmark::State& state) {
    receive_through_engine(state, true);
}

}  // namespace

BENCHMARK(bare_recv)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
BENCHMARK(engine_receive)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
BENCHMARK(engine_receive_settled)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);

int main(int argc, char** argv) {
    if (!enter_private_namespace()) {
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
