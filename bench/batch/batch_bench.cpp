// How long one job takes: every device of a simulated line gets a new fixed
// address and name in one ChangeDevices request, and the devices restart for
// --reboot seconds after the change. Prints the wall time from the request
// to the report's end, the items in flight at most, and the outcome counts.
//
//   lanfinder_batch_bench [--devices N] [--reboot S]     (needs root)

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "LabCheck.h"
#include "LanfinderLab.h"
#include "TextFile.h"

using nlohmann::json;
using testsupport::NetLab;

namespace {

struct Options {
    int devices = 40;
    int rebootS = 5;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--devices") == 0 && value >= 1 && value <= 250) {
            o.devices = value;
        } else if (std::strcmp(argv[i], "--reboot") == 0 && value >= 0 && value <= 60) {
            o.rebootS = value;
        } else {
            std::fprintf(stderr, "usage: %s [--devices 1..250] [--reboot 0..60]\n", argv[0]);
            std::exit(2);
        }
    }
    return o;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int run(const Options& o) {
    const auto check = testsupport::checkLab({"lanfinder", "lanfinder-sim"});
    if (!check.ready()) {
        std::fprintf(stderr, "batch bench: %s\n", check.why.c_str());
        return 1;
    }
    NetLab lab;
    const std::string work = "/tmp/" + lab.prefix() + "batch-bench";
    ::mkdir(work.c_str(), 0700);
    e2e::AppHome home(work + "/app");
    const std::string pc = lab.addNamespace("pc");
    const std::string dev = lab.addNamespace("dev");
    // A /16, so the line's addresses and the planned ones never meet.
    lab.link(pc, "lan1", "10.89.0.1/16", dev, "eth0", "10.89.0.2/16");
    const std::string simLog = work + "/sim.log";
    lab.spawn(dev,
              {testsupport::buildDir() + "/bin/lanfinder-sim", "--card", "10.89.0.2/16", "--start",
               "10.89.1.10", "--count", std::to_string(o.devices), "--reboot-time",
               std::to_string(o.rebootS), "--duration", "1800"},
              {}, simLog);
    if (!testsupport::waitFor(
            [&] {
                return testsupport::readText(simLog).find("lanfinder-sim: ready") !=
                       std::string::npos;
            },
            20000)) {
        std::fprintf(stderr, "batch bench: the simulator did not start\n");
        return 1;
    }
    lab.spawn(pc, {testsupport::buildDir() + "/bin/lanfinder"}, home.environment(),
              work + "/lanfinder.log");
    e2e::BrowserView browser;
    int port = 0;
    testsupport::waitFor([&] { return (port = home.reportedPort()) > 0; }, 5000);
    if (!browser.connect(lab, pc, port > 0 ? port : 8080, 30000) ||
        !browser.waitUntil([&] { return static_cast<int>(browser.devices.size()) == o.devices; },
                           60000)) {
        std::fprintf(stderr, "batch bench: the program did not list %d devices\n", o.devices);
        return 1;
    }
    browser.drain(2000);

    json items = json::array();
    int n = 0;
    for (const auto& [id, d] : browser.devices) {
        const int host = 10 + n++;
        items.push_back({{"deviceId", id},
                         {"name", "Cell " + std::to_string(n)},
                         {"ip", "10.89.2." + std::to_string(host)},
                         {"subnetMask", "255.255.0.0"},
                         {"networkMethod", "PersistentIP"},
                         {"defaultGateway", "10.89.0.1"}});
    }
    const auto start = std::chrono::steady_clock::now();
    browser.send({{"reqType", "ChangeDevices"},
                  {"reqId", "bench"},
                  {"username", ""},
                  {"password", ""},
                  {"devices", items}});
    // Each wave of eight takes at most the two minutes after which a change
    // is given up.
    const int limitMs = (o.devices / 8 + 2) * 130000;
    const bool ended = browser.waitUntil(
        [&] { return browser.batch.is_object() && browser.batch.value("state", "") != "running"; },
        limitMs);
    const double took = secondsSince(start);
    std::map<std::string, int> counts;
    for (const auto& i : browser.batch.value("items", json::array())) {
        ++counts[i.value("status", "?")];
    }
    std::printf("devices %d, restart %d s: %s after %.1f s, at most %d in flight;", o.devices,
                o.rebootS, ended ? browser.batch.value("state", "?").c_str() : "not ended", took,
                browser.maxBatchInFlight);
    for (const auto& [status, count] : counts) {
        std::printf(" %s %d", status.c_str(), count);
    }
    std::printf("\n");
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return ended && counts["done"] == o.devices ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    return run(parse(argc, argv));
}
