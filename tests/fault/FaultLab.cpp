#include "FaultLab.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "LabCheck.h"
#include "ProcessStats.h"
#include "TextFile.h"

using nlohmann::json;
using testsupport::NetLab;
using testsupport::waitFor;

namespace fault {

void LanfinderFault::SetUp() {
    const auto check = testsupport::checkLab({"lanfinder", "lanfinder-sim"});
    if (!check.ready()) {
        GTEST_SKIP() << check.why;
    }
    work_ = ::testing::TempDir() + "/" + lab_.prefix() + "fault";
    ::mkdir(work_.c_str(), 0700);
    ::mkdir((work_ + "/logs").c_str(), 0700);
    home_ = std::make_unique<e2e::AppHome>(work_ + "/app");
    std::filesystem::create_directories(dataDir());
    pc_ = lab_.addNamespace("pc");
    dev_ = lab_.addNamespace("dev");
    lab_.link(pc_, "lan1", "10.89.1.1/24", dev_, "eth0", "10.89.1.2/24");
}

void LanfinderFault::TearDown() {
    // Logs stay for a failed case, to read what went wrong.
    if (!work_.empty() && !HasFailure()) {
        std::error_code ignored;
        std::filesystem::remove_all(work_, ignored);
    }
}

pid_t LanfinderFault::startSim(int count) {
    std::string log = work_ + "/sim-" + std::to_string(++sims_) + ".log";
    pid_t pid = lab_.spawn(
        dev_,
        {testsupport::buildDir() + "/bin/lanfinder-sim", "--card", "10.89.1.2/24", "--count",
         std::to_string(count), "--seed", "3", "--localize-time", "1", "--duration", "170"},
        {}, log);
    EXPECT_TRUE(testsupport::waitForText(log, "lanfinder-sim: ready", 10000))
        << testsupport::readText(log);
    return pid;
}

void LanfinderFault::stopSim(pid_t pid) {
    ::kill(pid, SIGTERM);
    EXPECT_EQ(NetLab::waitExit(pid, 5000), 0);
}

int LanfinderFault::startApp(const std::string& prepare) {
    home_->setLogAside();
    appOut_ = work_ + "/lanfinder-" + std::to_string(++apps_) + ".out";
    const std::string program = testsupport::buildDir() + "/bin/lanfinder";
    auto env = home_->environment();
    if (prepare.empty()) {
        app_ = lab_.spawn(pc_, {program}, env, appOut_);
    } else {
        // unshare execs the shell and the shell execs the program: the pid
        // stays the program's.
        env["DATA"] = dataDir();
        env["LOGS"] = work_ + "/logs";
        app_ = lab_.spawn(pc_,
                          {"unshare", "--mount", "--propagation", "private", "sh", "-ec",
                           prepare + "\nexec \"$0\"", program},
                          env, appOut_);
    }
    port_ = 0;
    // The log may be written late (or, in a private mount, elsewhere); in a
    // namespace of its own the program finds its preferred port free.
    waitFor(
        [&] {
            std::string text = appLogText();
            auto at = text.find("Application port number: ");
            if (at != std::string::npos) {
                port_ = std::atoi(text.c_str() + at + 25);
            }
            return port_ > 0;
        },
        3000);
    if (port_ <= 0) {
        port_ = 8080;
    }
    return port_;
}

e2e::BrowserView& LanfinderFault::connect(int port) {
    browser_ = std::make_unique<e2e::BrowserView>();
    EXPECT_TRUE(browser_->connect(lab_, pc_, port, appStartMs))
        << "no full state on port " << port << "\n"
        << diagnostics();
    return *browser_;
}

e2e::BrowserView& LanfinderFault::connectWithDevices(int port, std::size_t count) {
    auto& b = connect(port);
    EXPECT_TRUE(b.waitUntil([&] { return allComplete(b, count); }, deviceMs))
        << "devices: " << b.devices.size();
    return b;
}

bool LanfinderFault::complete(const e2e::BrowserView& b, const std::string& id) const {
    const json* d = b.device(id);
    return d && d->value("ip", "") != "" && d->value("ipOfAssociatedNic", "") != "" &&
           d->value("mac", "") != "";
}

bool LanfinderFault::allComplete(const e2e::BrowserView& b, std::size_t count) const {
    if (b.devices.size() != count) {
        return false;
    }
    for (const auto& [id, d] : b.devices) {
        if (!complete(b, id)) {
            return false;
        }
    }
    return true;
}

bool LanfinderFault::deviceHas(const e2e::BrowserView& b, const std::string& id,
                               const std::string& key, const json& value) const {
    const json* d = b.device(id);
    return d && d->contains(key) && (*d)[key] == value;
}

bool LanfinderFault::setFavorite(e2e::BrowserView& b, const std::string& id, bool on) {
    const std::string reqId = "f" + std::to_string(++requests_);
    if (!b.send(
            {{"reqType", "SetFavorite"}, {"reqId", reqId}, {"deviceId", id}, {"isFavorite", on}})) {
        return false;
    }
    return b.waitUntil(
        [&] {
            for (const auto& a : b.answers) {
                if (a.value("reqId", "") == reqId) {
                    return a.value("status", "") == "OK";
                }
            }
            return false;
        },
        5000);
}

std::string LanfinderFault::anyDeviceId(const e2e::BrowserView& b) const {
    return b.devices.empty() ? std::string() : b.devices.begin()->first;
}

std::string LanfinderFault::dataDir() const {
    return home_->root() + "/data/vostrel/lanfinder";
}

std::string LanfinderFault::settingsPath() const {
    return dataDir() + "/Settings.json";
}

std::string LanfinderFault::settingsSeenByApp() const {
    return testsupport::readText("/proc/" + std::to_string(app_) + "/root" + settingsPath());
}

std::string LanfinderFault::appLogText() const {
    // In a private mount the log folder is a bind of LOGS.
    const std::string privateLog = work_ + "/logs/lanfinder.log";
    std::string text = testsupport::readText(privateLog);
    return text.empty() ? testsupport::readText(home_->logPath()) : text;
}

std::string LanfinderFault::diagnostics() const {
    return "output:\n" + testsupport::readText(appOut_) + "\nlog:\n" + appLogText();
}

}  // namespace fault
