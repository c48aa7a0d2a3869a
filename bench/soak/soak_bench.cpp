// lanfinder over a long run: a fleet of simulated devices of which a tenth
// keep leaving and coming back, browsers that connect and leave all the
// time, and one browser that renames devices, asks devices to localize and
// toggles favourites at a steady rate. Every 10 s the program's VmRSS,
// threads and open files are sampled.
//
//   lanfinder_soak_bench [--minutes M] [--devices N] [--warmup-minutes W] [--samples FILE]
//                        [--without-log-window]
//
// --without-log-window puts a file where the log folder would be, so the
// program runs without its log file and hence without the log window, whose
// hidden buffer of the newest 100,000 lines is most of the memory a long
// run adds.
//
// Verdict (exit code 0 when all hold):
//  - lanfinder never ended on its own during the run, and the steady browser
//    was never dropped;
//  - VmRSS after the warm-up grew by less than 5% (mean of the last three
//    samples against the mean of the first three after the warm-up);
//  - the settings file was valid JSON at every sample, and at the end (before
//    and after lanfinder's own final save) holds exactly the expected
//    favourites;
//  - lanfinder ends with 0 once the last browser has left.
//
// Everything runs inside network namespaces made here; nothing is sent on
// this machine's own interfaces. Needs root.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <random>
#include <set>
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
using testsupport::NetLab;
using testsupport::openFiles;
using testsupport::statusNumber;
using testsupport::WsClient;

std::atomic<bool> interrupted{false};

void onSignal(int) {
    interrupted = true;
}

struct Options {
    double minutes = 30;
    int devices = 1000;
    double warmupMinutes = 5;
    std::string samplesPath;
    bool withoutLogWindow = false;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--minutes") {
            o.minutes = std::atof(value().c_str());
        } else if (a == "--devices") {
            o.devices = std::atoi(value().c_str());
        } else if (a == "--warmup-minutes") {
            o.warmupMinutes = std::atof(value().c_str());
        } else if (a == "--samples") {
            o.samplesPath = value();
        } else if (a == "--without-log-window") {
            o.withoutLogWindow = true;
        } else {
            std::cerr << "usage: lanfinder_soak_bench [--minutes M] [--devices N] "
                         "[--warmup-minutes W] [--samples FILE] [--without-log-window]\n";
            std::exit(2);
        }
    }
    o.minutes = std::clamp(o.minutes, 1.0, 24 * 60.0);
    o.devices = std::clamp(o.devices, 20, 5000);
    // At least three samples on each side of the comparison.
    o.warmupMinutes = std::clamp(o.warmupMinutes, 0.5, o.minutes - 1.0);
    return o;
}

// The favourite ids in a settings file; false when it is not whole.
bool settingsFavourites(const std::string& path, std::set<std::string>& ids) {
    return e2e::favouritesOf(testsupport::readText(path), ids);
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// What the steady browser sees of the devices it works with.
struct Devices {
    std::unordered_map<std::string, json> byId;

    void full(const json& doc) {
        byId.clear();
        for (const auto& d : doc["devices"]["list"]) {
            byId[d["id"].get<std::string>()] = d;
        }
    }

    // Returns the notifications the frame carried.
    std::vector<std::string> apply(const json& doc) {
        std::vector<std::string> notes;
        if (auto n = doc.find("notifications"); n != doc.end() && n->is_array()) {
            for (const auto& m : *n) {
                notes.push_back(m.value("message", ""));
            }
        }
        auto devices = doc.find("devices");
        if (devices == doc.end() || !devices->is_object()) {
            return notes;
        }
        for (const auto& d : devices->value("added", json::array())) {
            byId[d["id"].get<std::string>()] = d;
        }
        for (const auto& d : devices->value("removed", json::array())) {
            byId.erase(d["id"].get<std::string>());
        }
        for (const auto& d : devices->value("updated", json::array())) {
            auto& target = byId[d["id"].get<std::string>()];
            for (auto u = d.begin(); u != d.end(); ++u) {
                target[u.key()] = u.value();
            }
        }
        return notes;
    }
};

struct ChurnStats {
    std::mutex mutex;
    long connects = 0;
    long fullStates = 0;
    long failures = 0;
    double worstFullStateMs = 0;
    std::vector<double> fullStateMs;
};

// Browsers that come and go: connect, wait for the full state, read the
// diffs for a while, then close cleanly or just drop the connection.
void churn(int port, int seed, ChurnStats& stats, const std::atomic<bool>& stop) {
    std::mt19937 random(static_cast<unsigned>(seed));
    std::uniform_int_distribution<int> lifeMs(500, 6000);
    while (!stop && !interrupted) {
        WsClient client;
        WsClient::Options o;
        o.port = static_cast<std::uint16_t>(port);
        o.hostHeader = "localhost:" + std::to_string(port);
        o.timeoutMs = 10000;
        const auto t0 = Clock::now();
        bool ok = client.connect(o);
        std::optional<std::string> first;
        if (ok) {
            first = client.receive(30000);
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        {
            std::lock_guard<std::mutex> lock(stats.mutex);
            ++stats.connects;
            if (first && first->find("\"devices\"") != std::string::npos) {
                ++stats.fullStates;
                stats.fullStateMs.push_back(ms);
                stats.worstFullStateMs = std::max(stats.worstFullStateMs, ms);
            } else {
                ++stats.failures;
            }
        }
        const auto until = Clock::now() + std::chrono::milliseconds(lifeMs(random));
        while (first && Clock::now() < until && !client.closed() && !stop) {
            client.receive(100);
        }
        if (random() % 2) {
            client.close();
        } else {
            client.abort();
        }
    }
}

struct Sample {
    double minute;
    long rssKb;
    long threads;
    long fds;
};

int run(const Options& o) {
    const auto check = testsupport::checkLab({"lanfinder", "lanfinder-sim"});
    if (!check.ready()) {
        std::cerr << "soak: " << check.why << "\n";
        return check.exitCode();
    }
    const std::string bin = testsupport::buildDir() + "/bin";

    NetLab lab;
    const std::string work = "/tmp/" + lab.prefix() + "soak";
    std::filesystem::create_directories(work);
    e2e::AppHome home(work + "/app");
    const std::string settingsPath = home.root() + "/data/vostrel/lanfinder/Settings.json";
    if (o.withoutLogWindow) {
        std::filesystem::create_directories(home.root() + "/data/vostrel/lanfinder");
        testsupport::writeText(home.root() + "/data/vostrel/lanfinder/logs", "not a folder");
    }
    const std::string pc = lab.addNamespace("pc");
    const std::string dev = lab.addNamespace("dev");
    lab.link(pc, "lan1", "10.71.0.1/16", dev, "eth0", "10.71.0.2/16");

    // The fleet is generated once and read back, so the driver knows which
    // devices flap: favourites and changes go to steady ones only, and the
    // final favourites are then known for certain.
    const int flapping = o.devices / 10;
    const double runS = o.minutes * 60;
    const std::string fleetPath = work + "/fleet.json";
    const pid_t dump =
        lab.spawn(dev,
                  {bin + "/lanfinder-sim", "--card", "10.71.0.2/16", "--count",
                   std::to_string(o.devices), "--subnet", "10.71.0.0/16", "--start", "10.71.1.1",
                   "--seed", "7", "--flapping", std::to_string(flapping), "--dump-fleet"},
                  {}, fleetPath);
    if (NetLab::waitExit(dump, 30000) != 0) {
        std::cerr << "soak: the fleet could not be generated\n" << testsupport::readText(fleetPath);
        return 1;
    }
    std::vector<std::string> steady;
    const json fleet = json::parse(testsupport::readText(fleetPath));
    for (const auto& d : fleet["devices"]) {
        if (!d.contains("flap")) {
            steady.push_back(lower(d["articleNumber"].get<std::string>() + "_" +
                                   d["serialNumber"].get<std::string>()));
        }
    }
    const std::string simLog = work + "/sim.log";
    lab.spawn(
        dev,
        {bin + "/lanfinder-sim", "--card", "10.71.0.2/16", "--fleet", fleetPath, "--reboot-time",
         "3", "--localize-time", "2", "--duration", std::to_string(static_cast<int>(runS) + 180)},
        {}, simLog);
    if (!testsupport::waitFor(
            [&] {
                return interrupted || testsupport::readText(simLog).find("lanfinder-sim: ready") !=
                                          std::string::npos;
            },
            60000) ||
        interrupted) {
        std::cerr << "soak: the simulator did not start\n" << testsupport::readText(simLog);
        return 1;
    }

    const std::string appLog = work + "/lanfinder.out";
    const pid_t app = lab.spawn(pc, {bin + "/lanfinder"}, home.environment(), appLog);
    int port = 0;
    testsupport::waitFor([&] { return (port = home.reportedPort()) > 0 || interrupted; }, 20000);
    if (port <= 0) {
        port = 8080;
    }
    std::cout << "devices: " << o.devices << " (" << flapping
              << " flapping), minutes: " << o.minutes << ", warm-up: " << o.warmupMinutes
              << ", port " << port << "\n"
              << "work folder: " << work << "\n";

    std::atomic<bool> stopChurn{false};
    ChurnStats churnStats;
    std::vector<std::thread> churners;
    for (int i = 0; i < 3; ++i) {
        churners.emplace_back(
            [&, i] { lab.inNamespace(pc, [&] { churn(port, 100 + i, churnStats, stopChurn); }); });
    }

    // The steady browser: sends the requests, follows the state, samples.
    std::vector<Sample> samples;
    std::set<std::string> expectedFavourites;
    long requests = 0, answersOk = 0, renames = 0, localizes = 0, toggles = 0;
    long notifications = 0, invalidSettingsReads = 0;
    bool appEnded = false, browserDropped = false, favouritesSettled = false;
    std::set<std::string> storedFavourites, storedAfterExit;
    bool storedValid = false, storedAfterExitValid = false;
    int appExit = -1;

    lab.inNamespace(pc, [&] {
        WsClient client;
        WsClient::Options w;
        w.port = static_cast<std::uint16_t>(port);
        w.hostHeader = "localhost:" + std::to_string(port);
        w.timeoutMs = 10000;
        if (!testsupport::waitFor([&] { return client.connect(w) || interrupted; }, 20000)) {
            browserDropped = true;
            return;
        }
        auto first = client.receive(30000);
        if (!first) {
            browserDropped = true;
            return;
        }
        Devices view;
        view.full(json::parse(*first));

        std::mt19937 random(42);
        // Favourites live on a few devices that are never renamed, so no
        // reboot can make one of them vanish while its toggle is on the way.
        if (steady.size() < 4) {
            browserDropped = true;
            return;
        }
        const std::size_t poolSize = std::min<std::size_t>(12, steady.size() / 2);
        const std::vector<std::string> pool(steady.begin(), steady.begin() + poolSize);
        const std::vector<std::string> others(steady.begin() + poolSize, steady.end());
        auto pick = [&](const std::vector<std::string>& from) -> const json* {
            for (int tries = 0; tries < 20; ++tries) {
                const std::string& id = from[random() % from.size()];
                auto it = view.byId.find(id);
                if (it != view.byId.end() && it->second.value("ip", "") != "" &&
                    !it->second.value("isProcessing", false)) {
                    return &it->second;
                }
            }
            return nullptr;
        };
        auto send = [&](json request) {
            request["reqId"] = "s" + std::to_string(++requests);
            if (!client.sendText(request.dump())) {
                browserDropped = true;
            }
        };

        const auto start = Clock::now();
        const auto end = start + std::chrono::duration<double>(runS);
        auto nextSample = start;
        auto nextRename = start + std::chrono::seconds(20);
        auto nextLocalize = start + std::chrono::seconds(20);
        auto nextToggle = start + std::chrono::seconds(20);
        while (!interrupted && Clock::now() < end) {
            if (auto message = client.receive(100)) {
                json doc = json::parse(*message, nullptr, false);
                if (doc.is_object() && doc.contains("status")) {
                    answersOk += doc.value("status", "") == "OK";
                } else if (doc.is_object()) {
                    notifications += static_cast<long>(view.apply(doc).size());
                }
            }
            if (client.closed()) {
                browserDropped = true;
                break;
            }
            const auto now = Clock::now();
            if (now >= nextRename) {
                nextRename = now + std::chrono::seconds(5);
                if (const json* d = pick(others)) {
                    send({{"reqType", "ChangeDevice"},
                          {"deviceId", (*d)["id"]},
                          {"name", "soak " + std::to_string(renames++)},
                          {"ip", (*d)["ip"]},
                          {"subnetMask", (*d)["subnetMask"]},
                          {"networkMethod", (*d)["networkMethod"]},
                          {"defaultGateway", (*d)["defaultGateway"]},
                          {"username", ""},
                          {"password", ""}});
                }
            }
            if (now >= nextLocalize) {
                nextLocalize = now + std::chrono::seconds(3);
                if (const json* d = pick(others)) {
                    ++localizes;
                    send({{"reqType", "Localize"},
                          {"deviceId", (*d)["id"]},
                          {"username", ""},
                          {"password", ""}});
                }
            }
            if (now >= nextToggle) {
                nextToggle = now + std::chrono::seconds(2);
                if (const json* d = pick(pool)) {
                    const std::string id = (*d)["id"];
                    const bool on = !expectedFavourites.count(id);
                    ++toggles;
                    send({{"reqType", "SetFavorite"}, {"deviceId", id}, {"isFavorite", on}});
                    if (on) {
                        expectedFavourites.insert(id);
                    } else {
                        expectedFavourites.erase(id);
                    }
                }
            }
            if (now >= nextSample) {
                nextSample += std::chrono::seconds(10);
                if (NetLab::waitExit(app, 0) >= 0) {
                    appEnded = true;
                    break;
                }
                const double minute = std::chrono::duration<double>(now - start).count() / 60;
                samples.push_back({minute, statusNumber(app, "VmRSS"), statusNumber(app, "Threads"),
                                   openFiles(app)});
                std::set<std::string> ids;
                if (std::filesystem::exists(settingsPath) &&
                    !settingsFavourites(settingsPath, ids)) {
                    ++invalidSettingsReads;
                }
                const Sample& s = samples.back();
                std::printf("sample: minute %.2f rss %ld kB threads %ld fds %ld devices %zu\n",
                            s.minute, s.rssKb, s.threads, s.fds, view.byId.size());
                std::fflush(stdout);
            }
        }
        stopChurn = true;
        if (appEnded || browserDropped || interrupted) {
            return;
        }

        // The last toggles take effect; the view and then the file agree.
        favouritesSettled = testsupport::waitFor(
            [&] {
                if (auto message = client.receive(50)) {
                    json doc = json::parse(*message, nullptr, false);
                    if (doc.is_object() && !doc.contains("status")) {
                        view.apply(doc);
                    }
                }
                for (const auto& id : pool) {
                    auto it = view.byId.find(id);
                    const bool fav = it != view.byId.end() && it->second.value("isFavorite", false);
                    if (fav != (expectedFavourites.count(id) > 0)) {
                        return false;
                    }
                }
                return true;
            },
            20000);
        testsupport::waitFor(
            [&] {
                storedValid = settingsFavourites(settingsPath, storedFavourites);
                return storedValid && storedFavourites == expectedFavourites;
            },
            10000);
        client.close();
    });
    stopChurn = true;
    for (auto& t : churners) {
        t.join();
    }

    if (!appEnded) {
        // The last browser has gone: lanfinder saves and ends on its own.
        appExit = NetLab::waitExit(app, 20000);
        storedAfterExitValid = settingsFavourites(settingsPath, storedAfterExit);
    }

    // Growth after the warm-up.
    std::vector<long> after;
    for (const auto& s : samples) {
        if (s.minute >= o.warmupMinutes && s.rssKb > 0) {
            after.push_back(s.rssKb);
        }
    }
    double growth = -1;
    double base = 0, last = 0;
    if (after.size() >= 6) {
        base = (after[0] + after[1] + after[2]) / 3.0;
        const std::size_t n = after.size();
        last = (after[n - 1] + after[n - 2] + after[n - 3]) / 3.0;
        growth = (last - base) / base * 100;
    }
    long peakRss = 0;
    for (const auto& s : samples) {
        peakRss = std::max(peakRss, s.rssKb);
    }
    if (!o.samplesPath.empty()) {
        std::ofstream out(o.samplesPath);
        out << "minute,rss_kb,threads,fds\n";
        for (const auto& s : samples) {
            out << s.minute << "," << s.rssKb << "," << s.threads << "," << s.fds << "\n";
        }
    }
    std::vector<double> fullMs = churnStats.fullStateMs;
    std::sort(fullMs.begin(), fullMs.end());
    const double medianFullMs = fullMs.empty() ? -1 : fullMs[fullMs.size() / 2];

    // Too short a run to compare is a failure, not a pass.
    const bool grewTooMuch = after.size() < 6 || growth >= 5.0;
    const bool settingsOk = favouritesSettled && storedValid &&
                            storedFavourites == expectedFavourites && storedAfterExitValid &&
                            storedAfterExit == expectedFavourites && invalidSettingsReads == 0;
    const bool pass =
        !interrupted && !appEnded && !browserDropped && !grewTooMuch && settingsOk && appExit == 0;

    std::cout << "samples: " << samples.size() << "\n"
              << "rss after warm-up: " << static_cast<long>(base) << " kB -> "
              << static_cast<long>(last) << " kB (" << growth << " %), peak " << peakRss << " kB\n"
              << "threads: " << (samples.empty() ? -1 : samples.front().threads) << " -> "
              << (samples.empty() ? -1 : samples.back().threads)
              << ", fds: " << (samples.empty() ? -1 : samples.front().fds) << " -> "
              << (samples.empty() ? -1 : samples.back().fds) << "\n"
              << "requests: " << requests << " (renames " << renames << ", localizes " << localizes
              << ", favourite toggles " << toggles << "), answered OK " << answersOk
              << ", notifications " << notifications << "\n"
              << "churn browsers: " << churnStats.connects << " connects, " << churnStats.fullStates
              << " full states (median " << medianFullMs << " ms, worst "
              << churnStats.worstFullStateMs << " ms), " << churnStats.failures << " failures\n"
              << "settings: " << (settingsOk ? "intact" : "NOT intact") << ", "
              << expectedFavourites.size() << " favourites expected, " << storedFavourites.size()
              << " stored, " << storedAfterExit.size() << " after exit, " << invalidSettingsReads
              << " invalid reads\n"
              << "lanfinder: " << (appEnded ? "ENDED DURING THE RUN" : "ran through") << ", exit "
              << appExit << (browserDropped ? ", steady browser DROPPED" : "") << "\n"
              << "verdict: " << (pass ? "pass" : "FAIL") << "\n";
    json line = {{"minutes", o.minutes},
                 {"devices", o.devices},
                 {"flapping", flapping},
                 {"samples", samples.size()},
                 {"rssBaseKb", static_cast<long>(base)},
                 {"rssEndKb", static_cast<long>(last)},
                 {"rssGrowthPercent", growth},
                 {"rssPeakKb", peakRss},
                 {"requests", requests},
                 {"answersOk", answersOk},
                 {"churnConnects", churnStats.connects},
                 {"churnFailures", churnStats.failures},
                 {"fullStateMedianMs", medianFullMs},
                 {"fullStateWorstMs", churnStats.worstFullStateMs},
                 {"settingsIntact", settingsOk},
                 {"exitCode", appExit},
                 {"pass", pass}};
    std::cout << "json: " << line.dump() << std::endl;
    if (pass) {
        std::error_code ignored;
        std::filesystem::remove_all(work, ignored);
    }
    return pass ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    try {
        return run(o);
    } catch (const std::exception& e) {
        std::cerr << "soak: " << e.what() << "\n";
        return 1;
    }
}
