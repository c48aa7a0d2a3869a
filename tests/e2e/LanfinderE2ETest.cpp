// The real lanfinder in a private lab, against lanfinder-sim, watched and
// driven through its WebSocket the way a browser does. Every case builds its
// own namespaces, so cases run in parallel.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "LabCheck.h"
#include "LanfinderLab.h"
#include "RequestSniffer.h"
#include "TextFile.h"

using nlohmann::json;
using testsupport::NetLab;
using testsupport::waitFor;

namespace {

// Ids are article and serial number in lower case.
const std::string camId = "vc2086712_2315a001";
const std::string lockedId = "vs1091455_2209b777";
const std::string farId = "ds1042210_2101c042";
const std::string readerId = "cr1070355_2404d010";

const char* const wire1Fleet = R"fleet({"devices": [
 {"articleNumber": "VC2086712", "serialNumber": "2315A001", "mac": "02:4c:46:00:00:01",
  "hardwareVersion": "B", "firmwareVersion": "4.3.2", "deviceType": "Smart camera",
  "manufacturer": "Vostrel", "manufactureDate": "2023-04-11", "userDefinedName": "Infeed camera",
  "ip": "10.88.1.20", "mask": "255.255.255.0", "gateway": "10.88.1.1", "method": "PERSISTENT_IP",
  "state": "ACTIVE", "capabilities": 11},
 {"articleNumber": "VS1091455", "serialNumber": "2209B777", "mac": "02:4c:46:00:00:02",
  "hardwareVersion": "02", "firmwareVersion": "2.9.4", "deviceType": "Vision sensor",
  "manufactureDate": "2022-03-02", "userDefinedName": "Palletizer sensor",
  "ip": "10.88.1.21", "mask": "255.255.255.0", "gateway": "0.0.0.0", "method": "DHCP",
  "state": "WARNING", "statusValue": 8193, "info": ["Temperature high (71 C)"], "capabilities": 11,
  "username": "admin", "password": "vostrel"},
 {"articleNumber": "DS1042210", "serialNumber": "2101C042", "mac": "02:4c:46:00:00:03",
  "hardwareVersion": "1", "firmwareVersion": "1.4.7", "deviceType": "Distance sensor",
  "manufactureDate": "2021-01-20", "ip": "192.168.250.20", "mask": "255.255.255.0",
  "gateway": "192.168.250.1", "method": "PERSISTENT_IP", "state": "ACTIVE", "capabilities": 2}
]})fleet";

const char* const wire2Fleet = R"fleet({"devices": [
 {"articleNumber": "CR1070355", "serialNumber": "2404D010", "deviceType": "Code reader",
  "ip": "10.88.2.20", "mask": "255.255.255.0", "method": "PERSISTENT_IP", "capabilities": 11}
]})fleet";

constexpr int appStartMs = 20000;
constexpr int deviceMs = 10000;

class LanfinderEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        const auto check = testsupport::checkLab({"lanfinder", "lanfinder-sim"});
        if (!check.ready()) {
            GTEST_SKIP() << check.why;
        }
        work_ = ::testing::TempDir() + "/" + lab_.prefix() + "e2e";
        ::mkdir(work_.c_str(), 0700);
        testsupport::writeText(work_ + "/wire1.json", wire1Fleet);
        testsupport::writeText(work_ + "/wire2.json", wire2Fleet);
        home_ = std::make_unique<e2e::AppHome>(work_ + "/app");
        pc_ = lab_.addNamespace("pc");
        dev1_ = lab_.addNamespace("dev1");
        lab_.link(pc_, "lan1", "10.88.1.1/24", dev1_, "eth0", "10.88.1.2/24");
    }

    void TearDown() override {
        // Logs stay for a failed case, to read what went wrong.
        if (!work_.empty() && !HasFailure()) {
            std::error_code ignored;
            std::filesystem::remove_all(work_, ignored);
        }
    }

    pid_t startSim(const std::string& ns, const std::string& card, const std::string& fleet,
                   std::vector<std::string> extra = {}) {
        std::string log = work_ + "/sim-" + ns + "-" + std::to_string(++sims_) + ".log";
        std::vector<std::string> argv = {testsupport::buildDir() + "/bin/lanfinder-sim",
                                         "--card",
                                         card,
                                         "--fleet",
                                         work_ + "/" + fleet,
                                         "--duration",
                                         "150"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        pid_t pid = lab_.spawn(ns, argv, {}, log);
        EXPECT_TRUE(testsupport::waitForText(log, "lanfinder-sim: ready", 10000))
            << testsupport::readText(log);
        return pid;
    }

    void stopSim(pid_t pid) {
        ::kill(pid, SIGTERM);
        EXPECT_EQ(NetLab::waitExit(pid, 5000), 0);
    }

    // Starts lanfinder in the PC namespace and returns the port it serves.
    int startApp() {
        home_->setLogAside();
        appLog_ = work_ + "/lanfinder-" + std::to_string(++apps_) + ".log";
        app_ = lab_.spawn(pc_, {testsupport::buildDir() + "/bin/lanfinder"}, home_->environment(),
                          appLog_);
        // The log may be written late; in a namespace of its own the
        // program finds its preferred port free, and connect() retries.
        int port = 0;
        waitFor([&] { return (port = home_->reportedPort()) > 0; }, 2000);
        return port > 0 ? port : 8080;
    }

    e2e::BrowserView& connect(int port) {
        browser_ = std::make_unique<e2e::BrowserView>();
        EXPECT_TRUE(browser_->connect(lab_, pc_, port, appStartMs))
            << "no full state on port " << port << "; output:\n"
            << testsupport::readText(appLog_) << "\nlog:\n"
            << testsupport::readText(home_->logPath());
        return *browser_;
    }

    e2e::BrowserView& startAll() {
        sim_ = startSim(dev1_, "10.88.1.2/24", "wire1.json",
                        {"--reboot-time", "5", "--localize-time", "2"});
        auto& b = connect(startApp());
        EXPECT_TRUE(b.waitUntil([&] { return allComplete(3); }, deviceMs))
            << "devices: " << b.devices.size();
        // The updates of one answer come as a burst; let it end.
        b.drain(300);
        return b;
    }

    // A device is complete once the answer's fields have followed its
    // "added" diff (they arrive as separate updates).
    bool complete(const std::string& id) {
        const json* d = browser_->device(id);
        return d && d->value("ip", "") != "" && d->value("ipOfAssociatedNic", "") != "" &&
               d->value("mac", "") != "";
    }

    bool allComplete(std::size_t count) {
        if (browser_->devices.size() != count) {
            return false;
        }
        for (const auto& [id, d] : browser_->devices) {
            if (!complete(id)) {
                return false;
            }
        }
        return true;
    }

    bool deviceHas(const std::string& id, const std::string& key, const json& value) {
        const json* d = browser_->device(id);
        return d && d->contains(key) && (*d)[key] == value;
    }

    json changeRequest(const std::string& id, const std::string& name, const std::string& ip,
                       const std::string& user = "", const std::string& password = "") {
        const json& d = *browser_->device(id);
        return {{"reqType", "ChangeDevice"},
                {"reqId", "c" + std::to_string(++requests_)},
                {"deviceId", id},
                {"name", name},
                {"ip", ip},
                {"subnetMask", d["subnetMask"]},
                {"networkMethod", d["networkMethod"]},
                {"defaultGateway", d["defaultGateway"]},
                {"username", user},
                {"password", password}};
    }

    bool answered(const std::string& reqId) {
        for (const auto& a : browser_->answers) {
            if (a.value("reqId", "") == reqId) {
                return a.value("status", "") == "OK";
            }
        }
        return false;
    }

    void setFavorite(const std::string& id) {
        std::string reqId = "f" + std::to_string(++requests_);
        ASSERT_TRUE(browser_->send({{"reqType", "SetFavorite"},
                                    {"reqId", reqId},
                                    {"deviceId", id},
                                    {"isFavorite", true}}));
        ASSERT_TRUE(browser_->waitUntil(
            [&] { return answered(reqId) && deviceHas(id, "isFavorite", true); }, 5000));
    }

    NetLab lab_;
    std::string work_;
    std::string pc_;
    std::string dev1_;
    std::unique_ptr<e2e::AppHome> home_;
    std::unique_ptr<e2e::BrowserView> browser_;
    std::string appLog_;
    pid_t app_ = -1;
    pid_t sim_ = -1;
    int sims_ = 0;
    int apps_ = 0;
    int requests_ = 0;
};

}  // namespace

TEST_F(LanfinderEndToEnd, DevicesAppearWithTheirFields) {
    auto& b = startAll();
    ASSERT_NE(b.device(camId), nullptr);
    const json& cam = *b.device(camId);
    EXPECT_EQ(cam["name"], "Infeed camera");
    EXPECT_EQ(cam["type"], "Smart camera");
    EXPECT_EQ(cam["articleNumber"], "VC2086712");
    EXPECT_EQ(cam["serialNumber"], "2315A001");
    EXPECT_EQ(cam["fwVersion"], "4.3.2");
    EXPECT_EQ(cam["hwVersion"], "B");
    EXPECT_EQ(cam["manufacturer"], "Vostrel");
    EXPECT_EQ(cam["manufactureDate"], "2023-04-11");
    EXPECT_EQ(cam["url"], "http://10.88.1.20/");
    EXPECT_EQ(cam["mac"], "02:4c:46:00:00:01");
    EXPECT_EQ(cam["ip"], "10.88.1.20");
    EXPECT_EQ(cam["subnetMask"], "255.255.255.0");
    EXPECT_EQ(cam["defaultGateway"], "10.88.1.1");
    EXPECT_EQ(cam["networkMethod"], "PersistentIP");
    EXPECT_EQ(cam["deviceState"], "ACTIVE");
    EXPECT_EQ(cam["supportsDHCP"], true);
    EXPECT_EQ(cam["supportsPersistentIP"], true);
    EXPECT_EQ(cam["supportsLocalize"], true);
    EXPECT_EQ(cam["ipOfAssociatedNic"], "10.88.1.1");
    EXPECT_EQ(cam["isAccessible"], true);
    EXPECT_EQ(cam["isAuthentication"], false);
    EXPECT_EQ(cam["isMissing"], false);
    EXPECT_EQ(cam["isFavorite"], false);

    ASSERT_NE(b.device(lockedId), nullptr);
    const json& locked = *b.device(lockedId);
    EXPECT_EQ(locked["isAuthentication"], true);
    EXPECT_EQ(locked["networkMethod"], "DHCP");
    EXPECT_EQ(locked["deviceState"], "WARNING");
    EXPECT_EQ(locked["statusStringDetails"], json::array({"Temperature high (71 C)"}));

    ASSERT_NE(b.device(farId), nullptr);
    const json& far = *b.device(farId);
    EXPECT_EQ(far["ip"], "192.168.250.20");
    EXPECT_EQ(far["isAccessible"], false);
    EXPECT_EQ(far["supportsLocalize"], false);
    EXPECT_EQ(far["supportsDHCP"], false);
    EXPECT_EQ(far["ipOfAssociatedNic"], "10.88.1.1");

    bool cardShown = false;
    for (const auto& nic : b.app["nics"]) {
        for (const auto& a : nic["addresses"]) {
            cardShown |= a["ip"] == "10.88.1.1" && a["subnetMask"] == "255.255.255.0";
        }
    }
    EXPECT_TRUE(cardShown) << b.app["nics"].dump();
    EXPECT_EQ(b.app["protocolState"]["available"], true);
}

TEST_F(LanfinderEndToEnd, SteadyStateSendsOnlyScanTimes) {
    auto& b = startAll();
    // Let the first answers and the reachability probe settle.
    b.drain(2500);
    b.diffs.clear();
    b.drain(4000);
    EXPECT_GE(b.diffs.size(), 2u);
    for (const auto& diff : b.diffs) {
        ASSERT_EQ(diff.size(), 1u) << diff.dump();
        ASSERT_TRUE(diff.contains("autoScanner")) << diff.dump();
        EXPECT_EQ(diff["autoScanner"].size(), 1u) << diff.dump();
        EXPECT_TRUE(diff["autoScanner"].contains("lastScanTime")) << diff.dump();
    }
}

TEST_F(LanfinderEndToEnd, SilentFavouriteIsMarkedMissingOthersAreRemoved) {
    auto& b = startAll();
    setFavorite(camId);
    stopSim(sim_);
    ASSERT_TRUE(b.waitUntil(
        [&] {
            return deviceHas(camId, "isMissing", true) && !b.device(lockedId) && !b.device(farId) &&
                   b.countNotifications("DeviceNoLongerAvailable") >= 3;
        },
        10000))
        << "notifications: " << b.notifications.size();
    // Reported once each, not every second the silence lasts.
    b.drain(3000);
    EXPECT_EQ(b.countNotifications("DeviceNoLongerAvailable"), 3);
    EXPECT_NE(b.device(camId), nullptr);
}

TEST_F(LanfinderEndToEnd, AddressChangeEndsInSuccessAfterTheReboot) {
    auto& b = startAll();
    json request = changeRequest(camId, "Infeed camera", "10.88.1.77");
    ASSERT_TRUE(b.send(request));
    EXPECT_TRUE(b.waitUntil([&] { return deviceHas(camId, "isProcessing", true); }, 5000));
    EXPECT_TRUE(b.waitUntil([&] { return deviceHas(camId, "isRebooting", true); }, 8000));
    ASSERT_TRUE(b.waitUntil([&] { return b.hasNotification("Configuration changed successfully"); },
                            20000));
    EXPECT_TRUE(b.waitUntil(
        [&] {
            return deviceHas(camId, "ip", "10.88.1.77") &&
                   deviceHas(camId, "isProcessing", false) &&
                   deviceHas(camId, "isRebooting", false);
        },
        3000));
    EXPECT_TRUE(deviceHas(camId, "url", "http://10.88.1.77/"));
    EXPECT_TRUE(answered(request["reqId"]));
}

TEST_F(LanfinderEndToEnd, WrongPasswordIsNotAuthorizedAndTheRightOneRenames) {
    auto& b = startAll();
    const std::string ip = (*b.device(lockedId))["ip"];
    ASSERT_TRUE(b.send(changeRequest(lockedId, "Renamed", ip, "admin", "wrong")));
    ASSERT_TRUE(b.waitUntil([&] { return b.hasNotification("Not authorized"); }, 5000));
    EXPECT_TRUE(deviceHas(lockedId, "name", "Palletizer sensor"));

    ASSERT_TRUE(b.send(changeRequest(lockedId, "Renamed", ip, "admin", "vostrel")));
    ASSERT_TRUE(
        b.waitUntil([&] { return b.hasNotification("Configuration changed successfully"); }, 5000));
    EXPECT_TRUE(b.waitUntil([&] { return deviceHas(lockedId, "name", "Renamed"); }, 5000));
}

// The PC also sits on an office network: the login for a device on the
// machine network goes out of that network's card only.
TEST_F(LanfinderEndToEnd, CredentialsStayOffTheOtherCardsNetwork) {
    const std::string office = lab_.addNamespace("office");
    lab_.link(pc_, "lan2", "10.88.9.1/24", office, "eth0", "10.88.9.2/24");
    testsupport::RequestSniffer sniffer(lab_, office);
    ASSERT_TRUE(sniffer.bound());
    auto& b = startAll();
    const std::string ip = (*b.device(lockedId))["ip"];

    ASSERT_TRUE(b.send(changeRequest(lockedId, "Renamed", ip, "admin", "vostrel")));
    ASSERT_TRUE(
        b.waitUntil([&] { return b.hasNotification("Configuration changed successfully"); }, 5000));
    ASSERT_TRUE(b.send({{"reqType", "Localize"},
                        {"reqId", "l1"},
                        {"deviceId", lockedId},
                        {"username", "admin"},
                        {"password", "vostrel"}}));
    ASSERT_TRUE(b.waitUntil([&] { return b.hasNotification("LocalizingSuccess"); }, 5000));

    // The scans go out of every card, so the office hears the PC; the
    // requests with the login do not reach it.
    sniffer.drain();
    EXPECT_GT(sniffer.other_requests, 0);
    EXPECT_EQ(sniffer.credential_requests, 0);
}

TEST_F(LanfinderEndToEnd, LocalizeIsReportedAndShown) {
    auto& b = startAll();
    ASSERT_TRUE(b.send({{"reqType", "Localize"},
                        {"reqId", "l1"},
                        {"deviceId", camId},
                        {"username", ""},
                        {"password", ""}}));
    ASSERT_TRUE(b.waitUntil([&] { return b.hasNotification("LocalizingSuccess"); }, 5000));
    EXPECT_TRUE(b.waitUntil([&] { return deviceHas(camId, "deviceState", "LOCALIZE"); }, 5000));
    EXPECT_TRUE(b.waitUntil([&] { return deviceHas(camId, "deviceState", "ACTIVE"); }, 8000));

    ASSERT_TRUE(b.send({{"reqType", "Localize"},
                        {"reqId", "l2"},
                        {"deviceId", farId},
                        {"username", ""},
                        {"password", ""}}));
    EXPECT_TRUE(b.waitUntil([&] { return b.hasNotification("Localize is not supported"); }, 5000));
}

TEST_F(LanfinderEndToEnd, FavouriteSurvivesARestart) {
    sim_ = startSim(dev1_, "10.88.1.2/24", "wire1.json");
    auto* b = &connect(startApp());
    ASSERT_TRUE(b->waitUntil([&] { return allComplete(3); }, deviceMs));
    setFavorite(camId);
    stopSim(sim_);

    // The last browser leaving ends the program after its grace period.
    b->close();
    int status = NetLab::waitExit(app_, 10000);
    ASSERT_GE(status, 0) << "lanfinder did not end after its last browser left";
    EXPECT_EQ(status, 0) << testsupport::readText(home_->logPath());

    b = &connect(startApp());
    ASSERT_NE(b->device(camId), nullptr) << b->fullState.dump();
    EXPECT_EQ((*b->device(camId))["isFavorite"], true);
    EXPECT_EQ((*b->device(camId))["isMissing"], true);
    EXPECT_EQ(b->device(lockedId), nullptr);

    startSim(dev1_, "10.88.1.2/24", "wire1.json");
    EXPECT_TRUE(b->waitUntil([&] { return deviceHas(camId, "isMissing", false); }, deviceMs));
    EXPECT_TRUE(deviceHas(camId, "isFavorite", true));
}

TEST_F(LanfinderEndToEnd, CardAddedWhileRunningBringsItsDevices) {
    auto& b = startAll();
    std::size_t nicDiffs = 0;
    std::string dev2 = lab_.addNamespace("dev2");
    lab_.link(pc_, "lan2", "10.88.2.1/24", dev2, "eth0", "10.88.2.2/24");
    startSim(dev2, "10.88.2.2/24", "wire2.json");
    ASSERT_TRUE(b.waitUntil(
        [&] { return complete(readerId) && deviceHas(readerId, "isAccessible", true); }, 15000));
    for (const auto& diff : b.diffs) {
        nicDiffs += diff.contains("nics");
    }
    EXPECT_GE(nicDiffs, 1u);
    EXPECT_TRUE(deviceHas(readerId, "ipOfAssociatedNic", "10.88.2.1"));
    EXPECT_TRUE(deviceHas(readerId, "isAccessible", true));
    bool shown = false;
    for (const auto& nic : b.app["nics"]) {
        for (const auto& a : nic["addresses"]) {
            shown |= a["ip"] == "10.88.2.1";
        }
    }
    EXPECT_TRUE(shown) << b.app["nics"].dump();
    // The first network's devices are found again on the new engine.
    EXPECT_TRUE(b.waitUntil([&] { return allComplete(4); }, deviceMs));
}

TEST_F(LanfinderEndToEnd, UnbindableCardIsReportedUntilItCanBeBound) {
    // Something else holds the application's port on the card's address.
    int blocker = -1;
    lab_.inNamespace(pc_, [&] {
        blocker = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(33002);
        inet_pton(AF_INET, "10.88.1.1", &a.sin_addr);
        ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    });
    startSim(dev1_, "10.88.1.2/24", "wire1.json");
    auto& b = connect(startApp());
    ASSERT_TRUE(b.waitUntil([&] { return b.app["protocolState"]["available"] == false; }, 10000))
        << b.app["protocolState"].dump();
    std::string details = b.app["protocolState"]["details"];
    EXPECT_NE(details.find("10.88.1.1"), std::string::npos) << details;
    EXPECT_NE(details.find("33002"), std::string::npos) << details;
    EXPECT_TRUE(b.devices.empty());

    ::close(blocker);
    ASSERT_TRUE(b.waitUntil([&] { return b.app["protocolState"]["available"] == true; }, 15000))
        << b.app["protocolState"].dump();
    EXPECT_TRUE(b.waitUntil([&] { return allComplete(3); }, deviceMs));
}
