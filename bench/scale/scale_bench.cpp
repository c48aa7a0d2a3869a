// lanfinder at scale: N simulated devices behind two or four cards, the real
// program discovering them, and one browser (a WebSocket client) following
// the state.
//
//   lanfinder_scale_bench [--devices N] [--cards 2|4] [--steady SECONDS]
//                         [--fill-timeout SECONDS] [--app-env NAME=VALUE]...
//
// Up to 50,000 devices; by default two cards up to 20,000 devices and four
// beyond, so that no card's subnet holds more than 12,500.
//
// --app-env adds a variable to lanfinder's environment, for experiments and
// profiles (for example MALLOC_ARENA_MAX=2, or LD_PRELOAD of a heap profiler).
//
// Everything runs inside network namespaces made here (a "pc" namespace with
// one veth card per device namespace, each running lanfinder-sim);
// nothing is sent on this machine's own interfaces. Needs root.
//
// Figures (one line each, "key: value", then a JSON line for scripts):
//  - fill: from the scan that first reached the simulators until the client
//    holds every device complete (ip, mac, ipOfAssociatedNic), in ms and in
//    scans (auto-scanner "lastScanTime" updates seen meanwhile);
//  - answers lost per scan: answers the simulators sent minus datagrams the
//    PC namespace's UDP layer delivered to lanfinder (its own counters), per
//    discovery request;
//  - steady state: lanfinder's CPU (utime+stime from /proc, % of one core),
//    VmRSS/VmHWM, diff frames and bytes per second, log bytes per second;
//  - full state: size, and the time a second client waits for it after its
//    upgrade (build on the main thread plus the send).

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "LabCheck.h"
#include "LanfinderLab.h"
#include "NetLab.h"
#include "ProcessStats.h"
#include "TextFile.h"
#include "WsClient.h"

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;
using testsupport::cpuTicks;
using testsupport::NetLab;
using testsupport::statusNumber;
using testsupport::WsClient;

std::atomic<bool> interrupted{false};

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

struct Options {
    int devices = 1000;
    // 0: chosen by the count of devices.
    int cards = 0;
    int steadyS = 10;
    int fillTimeoutS = 60;
    std::map<std::string, std::string> appEnvironment;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> int {
            if (i + 1 >= argc) {
                std::cerr << a << " needs a value\n";
                std::exit(2);
            }
            return std::atoi(argv[++i]);
        };
        if (a == "--devices") {
            o.devices = value();
        } else if (a == "--cards") {
            o.cards = value();
        } else if (a == "--steady") {
            o.steadyS = value();
        } else if (a == "--fill-timeout") {
            o.fillTimeoutS = value();
        } else if (a == "--app-env" && i + 1 < argc &&
                   std::string(argv[i + 1]).find('=') != std::string::npos) {
            const std::string setting = argv[++i];
            const auto equals = setting.find('=');
            o.appEnvironment[setting.substr(0, equals)] = setting.substr(equals + 1);
        } else {
            std::cerr << "usage: lanfinder_scale_bench [--devices N] [--cards 2|4] [--steady S] "
                         "[--fill-timeout S] [--app-env NAME=VALUE]...\n";
            std::exit(2);
        }
    }
    o.devices = std::clamp(o.devices, 2, 50000);
    if (o.cards != 2 && o.cards != 4) {
        o.cards = o.devices > 20000 ? 4 : 2;
    }
    o.steadyS = std::clamp(o.steadyS, 2, 120);
    o.fillTimeoutS = std::clamp(o.fillTimeoutS, 5, 600);
    return o;
}

long long fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

// The namespace's UDP counters: "Udp: InDatagrams ... RcvbufErrors ...".
std::map<std::string, long long> udpCounters(NetLab& lab, const std::string& ns) {
    std::map<std::string, long long> counters;
    lab.inNamespace(ns, [&] {
        // /proc/net follows the reading thread's namespace only through
        // /proc/thread-self; /proc/self would be the process's first thread.
        std::istringstream in(testsupport::readText("/proc/thread-self/net/snmp"));
        std::string names, values, line;
        while (std::getline(in, line)) {
            if (line.rfind("Udp:", 0) == 0) {
                if (names.empty()) {
                    names = line;
                } else {
                    values = line;
                    break;
                }
            }
        }
        std::istringstream n(names), v(values);
        std::string key, value;
        while (n >> key && v >> value) {
            counters[key] = std::atoll(value.c_str());
        }
    });
    return counters;
}

// Packets dropped by the kernel's per-CPU input queues (all namespaces, the
// second column of /proc/net/softnet_stat, hexadecimal): a veth sender that
// bursts faster than the receiving side drains loses them there.
long long softnetDrops() {
    std::istringstream in(testsupport::readText("/proc/net/softnet_stat"));
    std::string line;
    long long drops = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string processed, dropped;
        if (fields >> processed >> dropped) {
            drops += std::stoll(dropped, nullptr, 16);
        }
    }
    return drops;
}

// What the browser knows: devices by id and how complete they are.
struct View {
    std::unordered_map<std::string, int> fields;  // id -> bits of ip, mac, nic
    int complete = 0;
    long long frames = 0;
    long long bytes = 0;
    long long added = 0;
    long long removed = 0;
    long long updates = 0;
    long long scans = 0;
    long long notLongerAvailable = 0;
    Clock::time_point lastScanAt{};

    static int bitsOf(const json& d) {
        int bits = 0;
        auto filled = [&](const char* key) {
            auto it = d.find(key);
            return it != d.end() && it->is_string() && !it->get_ref<const std::string&>().empty();
        };
        bits |= filled("ip") ? 1 : 0;
        bits |= filled("mac") ? 2 : 0;
        bits |= filled("ipOfAssociatedNic") ? 4 : 0;
        return bits;
    }

    void set(const std::string& id, int bits, bool merge) {
        int& b = fields[id];
        const bool was = b == 7;
        b = merge ? (b | bits) : bits;
        complete += (b == 7) - was;
    }

    // A full state: only a document whose "devices" holds a "list" counts
    // (a late full-state answer can leave a client with a diff first).
    void full(const json& doc) {
        if (!doc.is_object()) {
            return;
        }
        auto devices = doc.find("devices");
        if (devices == doc.end() || !devices->is_object()) {
            return;
        }
        auto list = devices->find("list");
        if (list == devices->end() || !list->is_array()) {
            return;
        }
        for (const auto& d : *list) {
            if (d.is_object() && d.contains("id") && d["id"].is_string()) {
                set(d["id"].get<std::string>(), bitsOf(d), false);
            }
        }
    }

    void apply(const std::string& text) {
        try {
            applyFrame(text);
        } catch (const std::exception&) {
            // Not a frame of the shape this view follows; counted, not applied.
        }
    }

    void applyFrame(const std::string& text) {
        ++frames;
        bytes += static_cast<long long>(text.size());
        json doc = json::parse(text, nullptr, false);
        if (!doc.is_object()) {
            return;
        }
        if (auto s = doc.find("autoScanner"); s != doc.end() && s->contains("lastScanTime")) {
            ++scans;
            lastScanAt = Clock::now();
        }
        if (auto n = doc.find("notifications"); n != doc.end()) {
            for (const auto& m : *n) {
                notLongerAvailable += m.value("message", "") == "DeviceNoLongerAvailable";
            }
        }
        auto devices = doc.find("devices");
        if (devices == doc.end()) {
            return;
        }
        for (const auto& d : devices->value("added", json::array())) {
            ++added;
            set(d["id"].get<std::string>(), bitsOf(d), false);
        }
        for (const auto& d : devices->value("removed", json::array())) {
            ++removed;
            auto id = d["id"].get<std::string>();
            auto it = fields.find(id);
            if (it != fields.end()) {
                complete -= it->second == 7;
                fields.erase(it);
            }
        }
        for (const auto& d : devices->value("updated", json::array())) {
            ++updates;
            set(d["id"].get<std::string>(), bitsOf(d), true);
        }
    }
};

struct SimRun {
    pid_t pid = -1;
    std::string log;
};

std::string lastLineWith(const std::string& text, const std::string& marker) {
    auto at = text.rfind(marker);
    if (at == std::string::npos) {
        return {};
    }
    return text.substr(at, text.find('\n', at) - at);
}

// "... N discovery, ... requests; M answers sent, ..." -> {N, M}
std::pair<long long, long long> simCounts(const std::string& log) {
    std::string line = lastLineWith(log, "lanfinder-sim: stopped:");
    long long requests = -1, sent = -1;
    if (!line.empty()) {
        std::sscanf(line.c_str(), "lanfinder-sim: stopped: %lld discovery", &requests);
        auto semi = line.find("; ");
        if (semi != std::string::npos) {
            std::sscanf(line.c_str() + semi + 2, "%lld answers sent", &sent);
        }
    }
    return {requests, sent};
}

int run(const Options& o) {
    const auto check = testsupport::checkLab({"lanfinder", "lanfinder-sim"});
    if (!check.ready()) {
        std::cerr << "scale bench: " << check.why << "\n";
        return check.exitCode();
    }
    const std::string bin = testsupport::buildDir() + "/bin";

    NetLab lab;
    const std::string work = "/tmp/" + lab.prefix() + "scale";
    std::filesystem::create_directories(work);
    e2e::AppHome home(work + "/app");
    const std::string pc = lab.addNamespace("pc");
    // /16 subnets, 10.61/16 to 10.64/16: up to 12,500 devices behind each card.
    struct Card {
        std::string ns;
        std::string card;
        std::string subnet;
        std::string start;
        int count;
    };
    std::vector<Card> cards;
    for (int c = 0; c < o.cards; ++c) {
        const std::string net = "10.6" + std::to_string(c + 1);
        const std::string ns = lab.addNamespace("dev" + std::to_string(c + 1));
        lab.link(pc, "lan" + std::to_string(c + 1), net + ".0.1/16", ns, "eth0", net + ".0.2/16");
        const int count = o.devices / o.cards + (c < o.devices % o.cards ? 1 : 0);
        cards.push_back({ns, net + ".0.2/16", net + ".0.0/16", net + ".1.1", count});
    }

    std::cout << "devices: " << o.devices << " (" << o.cards << " cards,";
    for (const auto& c : cards) {
        std::cout << " " << c.count;
    }
    std::cout << ")\n";

    // lanfinder first, with no device answering yet, so the client's full
    // state is small and the first scan that meets the devices is seen.
    const std::string appLog = work + "/lanfinder.out";
    const auto appStart = Clock::now();
    auto appEnvironment = home.environment();
    for (const auto& [name, value] : o.appEnvironment) {
        appEnvironment[name] = value;
    }
    const pid_t app = lab.spawn(pc, {bin + "/lanfinder"}, appEnvironment, appLog);
    int port = 0;
    testsupport::waitFor([&] { return (port = home.reportedPort()) > 0 || interrupted; }, 20000);
    if (port <= 0) {
        port = 8080;
    }
    WsClient client;
    bool connected = false;
    lab.inNamespace(pc, [&] {
        WsClient::Options w;
        w.port = static_cast<std::uint16_t>(port);
        w.hostHeader = "localhost:" + std::to_string(port);
        connected = testsupport::waitFor([&] { return client.connect(w) || interrupted; }, 20000);
    });
    auto first = connected ? client.receive(20000) : std::nullopt;
    if (!first) {
        std::cerr << "scale bench: no full state from lanfinder on port " << port << "\n"
                  << testsupport::readText(appLog);
        return 1;
    }
    View view;
    view.full(json::parse(*first));
    std::cout << "lanfinder up: " << static_cast<long>(msSince(appStart)) << " ms\n";

    // The simulators.
    std::vector<SimRun> sims;
    auto startSim = [&](const Card& c) {
        SimRun s;
        s.log = work + "/sim-" + c.ns.substr(c.ns.rfind('-') + 1) + ".log";
        s.pid = lab.spawn(c.ns,
                          {bin + "/lanfinder-sim", "--card", c.card, "--count",
                           std::to_string(c.count), "--subnet", c.subnet, "--start", c.start,
                           "--seed", std::to_string(sims.size() + 1), "--duration", "600"},
                          {}, s.log);
        sims.push_back(s);
    };
    for (const auto& c : cards) {
        startSim(c);
    }
    for (const auto& s : sims) {
        if (!testsupport::waitFor(
                [&] {
                    return interrupted || testsupport::readText(s.log).find(
                                              "lanfinder-sim: ready") != std::string::npos;
                },
                60000)) {
            std::cerr << "scale bench: simulator did not start\n" << testsupport::readText(s.log);
            return 1;
        }
    }

    // Fill: receive until every device is complete.
    const auto udpBefore = udpCounters(lab, pc);
    const long long softnetBefore = softnetDrops();
    const long long ticksPerS = sysconf(_SC_CLK_TCK);
    const long long fillTicks0 = cpuTicks(app);
    Clock::time_point firstScan{};
    long long scansAtFirstScan = 0;
    const auto fillDeadline = Clock::now() + std::chrono::seconds(o.fillTimeoutS);
    double fillMs = -1;
    long long fillScans = -1;
    auto lastFrame = Clock::now();
    bool stalled = false;
    while (!interrupted && Clock::now() < fillDeadline && !client.closed()) {
        auto message = client.receive(200);
        if (!message) {
            // Frames stop when lanfinder gives up on a client that falls
            // behind; the full state then tells when the list is complete.
            if (view.added > 0 && msSince(lastFrame) > 1000) {
                stalled = true;
                break;
            }
            continue;
        }
        lastFrame = Clock::now();
        const long long scansBefore = view.scans;
        const auto addedBefore = view.added;
        view.apply(*message);
        if (view.added > 0 && addedBefore == 0) {
            // The scan that the first answer belongs to is the last one seen.
            firstScan = view.scans > 0 ? view.lastScanAt : Clock::now();
            scansAtFirstScan = view.scans > scansBefore ? view.scans - 1 : scansBefore;
        }
        if (view.complete == o.devices && static_cast<int>(view.fields.size()) == o.devices) {
            fillMs = std::chrono::duration<double, std::milli>(Clock::now() - firstScan).count();
            // Scans sent since the first one, that one included.
            fillScans = view.scans - scansAtFirstScan + 1;
            break;
        }
    }
    const long long streamedComplete = view.complete;
    if (stalled || client.closed()) {
        std::cout << "stream: stalled with " << view.complete << " of " << o.devices
                  << " complete after " << view.frames << " frames\n";
        while (!interrupted && Clock::now() < fillDeadline && fillMs < 0) {
            View polled;
            lab.inNamespace(pc, [&] {
                WsClient probe;
                WsClient::Options w;
                w.port = static_cast<std::uint16_t>(port);
                w.hostHeader = "localhost:" + std::to_string(port);
                if (probe.connect(w)) {
                    if (auto doc = probe.receive(30000)) {
                        polled.full(json::parse(*doc, nullptr, false));
                    }
                    probe.close();
                }
            });
            if (polled.complete == o.devices) {
                fillMs = msSince(firstScan);
                // Whole scans since the first one, that one included.
                fillScans = static_cast<long long>(fillMs / 1000.0) + 1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    }
    const double fillCpuS = static_cast<double>(cpuTicks(app) - fillTicks0) / ticksPerS;
    const long long fillFrames = view.frames;
    if (fillMs < 0) {
        std::cout << "fill: NOT complete after " << o.fillTimeoutS << " s: " << view.complete
                  << " of " << o.devices << " complete (" << view.fields.size() << " listed)\n";
    } else {
        std::cout << "fill: " << static_cast<long>(fillMs) << " ms, " << fillScans << " scans, "
                  << fillFrames << " frames, lanfinder CPU " << fillCpuS << " s\n";
    }

    // Steady state: let the fill's backlog settle, then sample.
    for (auto until = Clock::now() + std::chrono::seconds(2); Clock::now() < until;) {
        if (auto m = client.receive(100)) {
            view.apply(*m);
        }
    }
    const long long frames0 = view.frames, bytes0 = view.bytes, scans0 = view.scans;
    const long long log0 = fileSize(home.logPath());
    const long long ticks0 = cpuTicks(app);
    const auto steady0 = Clock::now();
    long long worstSecondTicks = 0;
    long long secondTicks0 = ticks0;
    auto nextSecond = steady0 + std::chrono::seconds(1);
    while (!interrupted && Clock::now() < steady0 + std::chrono::seconds(o.steadyS)) {
        if (auto m = client.receive(50)) {
            view.apply(*m);
        }
        if (Clock::now() >= nextSecond) {
            const long long t = cpuTicks(app);
            worstSecondTicks = std::max(worstSecondTicks, t - secondTicks0);
            secondTicks0 = t;
            nextSecond += std::chrono::seconds(1);
        }
    }
    const double steadyS = msSince(steady0) / 1000.0;
    // The machine's one-minute load average, beside the CPU share it skews.
    double load = -1;
    {
        std::ifstream loadavg("/proc/loadavg");
        loadavg >> load;
    }
    const double cpuPct = 100.0 * static_cast<double>(cpuTicks(app) - ticks0) / ticksPerS / steadyS;
    const double worstPct = 100.0 * static_cast<double>(worstSecondTicks) / ticksPerS;
    const double framesPerS = static_cast<double>(view.frames - frames0) / steadyS;
    const double bytesPerS = static_cast<double>(view.bytes - bytes0) / steadyS;
    const double logPerS = static_cast<double>(fileSize(home.logPath()) - log0) / steadyS;
    const long rssKb = statusNumber(app, "VmRSS");
    const long hwmKb = statusNumber(app, "VmHWM");
    std::cout << "steady: CPU " << cpuPct << " % of one core (worst second " << worstPct << " %), "
              << framesPerS << " frames/s, " << bytesPerS << " B/s, " << (view.scans - scans0)
              << " scans, log " << logPerS << " B/s, load " << load << "\n";
    std::cout << "memory: VmRSS " << rssKb / 1024.0 << " MB, VmHWM " << hwmKb / 1024.0 << " MB\n";

    // A second browser: the full state with every device.
    double fullMs = -1;
    std::size_t fullBytes = 0;
    lab.inNamespace(pc, [&] {
        WsClient second;
        WsClient::Options w;
        w.port = static_cast<std::uint16_t>(port);
        w.hostHeader = "localhost:" + std::to_string(port);
        if (second.connect(w)) {
            const auto asked = Clock::now();
            if (auto doc = second.receive(30000)) {
                fullMs = msSince(asked);
                fullBytes = doc->size();
            }
            second.close();
        }
    });
    std::cout << "full state: " << fullBytes << " bytes, " << fullMs << " ms after the upgrade\n";

    // Answers lost: stop the simulators, let lanfinder read what is left.
    for (const auto& s : sims) {
        ::kill(s.pid, SIGTERM);
    }
    long long requests = 0, sent = 0;
    for (const auto& s : sims) {
        NetLab::waitExit(s.pid, 10000);
        auto [r, a] = simCounts(testsupport::readText(s.log));
        requests = std::max(requests, r);
        sent += a;
    }
    std::map<std::string, long long> udpAfter;
    long long delivered = -1;
    auto lastChange = Clock::now();
    testsupport::waitFor(
        [&] {
            udpAfter = udpCounters(lab, pc);
            const long long now = udpAfter["InDatagrams"] - udpBefore.at("InDatagrams");
            if (now != delivered) {
                delivered = now;
                lastChange = Clock::now();
            }
            // Settled once nothing more was read for a second.
            return msSince(lastChange) > 1000;
        },
        15000);
    const long long backlogDrops = softnetDrops() - softnetBefore;
    const long long rcvbufErrors = udpAfter["RcvbufErrors"] - udpBefore.at("RcvbufErrors");
    const long long lost = sent - delivered;
    const double lostPerScan = requests > 0 ? static_cast<double>(lost) / requests : 0;
    std::cout << "answers: " << sent << " sent over " << requests << " scans, " << delivered
              << " read by lanfinder, " << lost << " lost (" << rcvbufErrors
              << " at its full socket buffer, " << backlogDrops
              << " dropped by any card's input queue on this machine), " << lostPerScan
              << " per scan\n";
    const std::string appText = testsupport::readText(home.logPath());
    const bool dropped = appText.find("dropped: it does not read") != std::string::npos;
    std::cout << "client dropped by lanfinder: " << (dropped ? "yes" : "no") << "\n";
    if (dropped) {
        // Which browser and when, beside what the program did around it.
        std::istringstream lines(appText);
        for (std::string line; std::getline(lines, line);) {
            if (line.find("Web client") != std::string::npos ||
                line.find("dropped") != std::string::npos) {
                std::cout << "  " << line << "\n";
            }
        }
    }
    std::cout << "churn: " << view.removed << " removed, " << view.notLongerAvailable
              << " DeviceNoLongerAvailable\n";

    json summary = {{"devices", o.devices},
                    {"cards", o.cards},
                    {"fillMs", fillMs},
                    {"fillScans", fillScans},
                    {"fillFrames", fillFrames},
                    {"fillCpuS", fillCpuS},
                    {"steadyCpuPct", cpuPct},
                    {"steadyWorstSecondPct", worstPct},
                    {"load", load},
                    {"rssMB", rssKb / 1024.0},
                    {"hwmMB", hwmKb / 1024.0},
                    {"framesPerS", framesPerS},
                    {"diffBytesPerS", bytesPerS},
                    {"logBytesPerS", logPerS},
                    {"fullStateBytes", fullBytes},
                    {"fullStateMs", fullMs},
                    {"answersSent", sent},
                    {"scans", requests},
                    {"answersRead", delivered},
                    {"lostPerScan", lostPerScan},
                    {"rcvbufErrors", rcvbufErrors},
                    {"softnetDrops", backlogDrops},
                    {"removed", view.removed},
                    {"clientDropped", dropped},
                    {"streamStalled", stalled},
                    {"streamedComplete", streamedComplete}};
    std::cout << "json: " << summary.dump() << std::endl;

    client.abort();
    ::kill(app, SIGTERM);
    if (NetLab::waitExit(app, 10000) < 0) {
        ::kill(app, SIGKILL);
    }
    if (fillMs < 0) {
        std::cout << "logs kept in " << work << "\n";
        return 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    struct sigaction stop {};
    stop.sa_handler = [](int) { interrupted = true; };
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    // The lab's destructor removes the namespaces and kills what still runs.
    try {
        return run(o);
    } catch (const std::exception& e) {
        std::cerr << "scale bench: " << e.what() << "\n";
        return 1;
    }
}
