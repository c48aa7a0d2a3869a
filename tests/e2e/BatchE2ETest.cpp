// A batch of changes through the real lanfinder against forty simulated
// devices: the job's report as a browser sees it, eight items in flight at
// most, one device refusing the login, a plan with an address twice, and a
// cancel while items are on their way.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "LabCheck.h"
#include "LanfinderLab.h"
#include "TextFile.h"

using nlohmann::json;
using testsupport::NetLab;
using testsupport::waitFor;

namespace {

constexpr int fleetSize = 40;
constexpr int appStartMs = 20000;
// Each wave of eight takes the answer, three seconds of silence before the
// program counts the device as restarting, the simulator's restart and the
// next scan; five waves with room for a loaded machine.
constexpr int jobMs = 120000;

class BatchEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        const auto check = testsupport::checkLab({"lanfinder", "lanfinder-sim"});
        if (!check.ready()) {
            GTEST_SKIP() << check.why;
        }
        work_ = ::testing::TempDir() + "/" + lab_.prefix() + "batch";
        ::mkdir(work_.c_str(), 0700);
        home_ = std::make_unique<e2e::AppHome>(work_ + "/app");
        pc_ = lab_.addNamespace("pc");
        dev_ = lab_.addNamespace("dev");
        lab_.link(pc_, "lan1", "10.88.1.1/24", dev_, "eth0", "10.88.1.2/24");

        simLog_ = work_ + "/sim.log";
        const std::string& simLog = simLog_;
        // One device of the fleet requires a login; the batch sends another.
        // A restart shorter than the program's three seconds of silence goes
        // unnoticed and the change is only given up after two minutes, so the
        // devices restart for five.
        lab_.spawn(dev_,
                   {testsupport::buildDir() + "/bin/lanfinder-sim", "--card", "10.88.1.2/24",
                    "--count", std::to_string(fleetSize), "--with-credentials", "1",
                    "--reboot-time", "5", "--duration", "300"},
                   {}, simLog);
        ASSERT_TRUE(waitFor(
            [&] {
                return testsupport::readText(simLog).find("lanfinder-sim: ready") !=
                       std::string::npos;
            },
            10000))
            << testsupport::readText(simLog);

        appLog_ = work_ + "/lanfinder.log";
        lab_.spawn(pc_, {testsupport::buildDir() + "/bin/lanfinder"}, home_->environment(),
                   appLog_);
        int port = 0;
        waitFor([&] { return (port = home_->reportedPort()) > 0; }, 2000);
        ASSERT_TRUE(browser_.connect(lab_, pc_, port > 0 ? port : 8080, appStartMs))
            << testsupport::readText(appLog_);
        ASSERT_TRUE(browser_.fullState.contains("batch"));
        EXPECT_TRUE(browser_.fullState["batch"].is_null());
        ASSERT_TRUE(browser_.waitUntil([&] { return allSeen(); }, 20000))
            << "devices: " << browser_.devices.size();
        browser_.drain(300);
    }

    void TearDown() override {
        if (!work_.empty() && !HasFailure()) {
            std::error_code ignored;
            std::filesystem::remove_all(work_, ignored);
        }
    }

    bool allSeen() {
        if (browser_.devices.size() != fleetSize) {
            return false;
        }
        for (const auto& [id, d] : browser_.devices) {
            if (d.value("ip", "") == "" || d.value("ipOfAssociatedNic", "") == "") {
                return false;
            }
        }
        return true;
    }

    // The ids in a fixed order, the one that needs a login first.
    std::vector<std::string> ids() {
        std::vector<std::string> out;
        for (const auto& [id, d] : browser_.devices) {
            if (d.value("isAuthentication", false)) {
                out.insert(out.begin(), id);
            } else {
                out.push_back(id);
            }
        }
        return out;
    }

    static json item(const std::string& id, const std::string& ip) {
        return {{"deviceId", id},
                {"name", "Cell " + ip.substr(ip.rfind('.') + 1)},
                {"ip", ip},
                {"subnetMask", "255.255.255.0"},
                {"networkMethod", "PersistentIP"},
                {"defaultGateway", "10.88.1.1"}};
    }

    json batchRequest(const std::string& reqId, const json& devices) {
        return {{"reqType", "ChangeDevices"},
                {"reqId", reqId},
                {"username", "admin"},
                {"password", "wrong"},
                {"devices", devices}};
    }

    std::map<std::string, json> itemsById() const {
        std::map<std::string, json> out;
        for (const auto& i : browser_.batch.value("items", json::array())) {
            out[i["deviceId"].get<std::string>()] = i;
        }
        return out;
    }

    bool ended(const char* state) const {
        return browser_.batch.is_object() && browser_.batch.value("state", "") == state;
    }

    NetLab lab_;
    std::string work_;
    std::string pc_;
    std::string dev_;
    std::string appLog_;
    std::string simLog_;
    std::unique_ptr<e2e::AppHome> home_;
    e2e::BrowserView browser_;
};

}  // namespace

TEST_F(BatchEndToEnd, ThirtyNineChangesEightAtATimeThenACancelledJob) {
    const std::vector<std::string> all = ids();
    ASSERT_EQ(all.size(), static_cast<std::size_t>(fleetSize));
    // 36 consecutive addresses and two items planned on one more.
    json devices = json::array();
    for (int i = 0; i < 36; ++i) {
        devices.push_back(item(all[i], "10.88.1." + std::to_string(100 + i)));
    }
    devices.push_back(item(all[36], "10.88.1.200"));
    devices.push_back(item(all[37], "10.88.1.200"));
    // And one on the address another listed device holds.
    const std::string held = browser_.device(all[39])->value("ip", "");
    devices.push_back(item(all[38], held));
    ASSERT_TRUE(browser_.send(batchRequest("b1", devices)));
    ASSERT_TRUE(browser_.waitUntil([&] { return browser_.batch.is_object(); }, 5000));
    EXPECT_EQ(browser_.batch["items"].size(), 39u);

    // While it runs another job is refused.
    ASSERT_TRUE(browser_.send(batchRequest("b2", json::array({item(all[39], "10.88.1.150")}))));
    EXPECT_TRUE(browser_.waitUntil(
        [&] { return browser_.hasNotification("Another batch is running"); }, 5000));

    ASSERT_TRUE(browser_.waitUntil([&] { return ended("done"); }, jobMs)) << browser_.batch.dump(1);
    EXPECT_LE(browser_.maxBatchInFlight, 8);
    EXPECT_GE(browser_.maxBatchInFlight, 2);
    EXPECT_FALSE(browser_.batch["finishedTime"].is_null());

    const auto items = itemsById();
    EXPECT_EQ(items.at(all[0])["status"], "failed");
    EXPECT_EQ(items.at(all[0])["message"], "Not authorized");
    for (int i : {36, 37}) {
        EXPECT_EQ(items.at(all[i])["status"], "failed");
        EXPECT_EQ(items.at(all[i])["message"], "Address planned twice");
    }
    EXPECT_EQ(items.at(all[38])["status"], "failed");
    EXPECT_EQ(items.at(all[38])["message"], "Address in use by " + all[39]);
    for (int i = 1; i < 36; ++i) {
        EXPECT_EQ(items.at(all[i])["status"], "done") << all[i];
        EXPECT_EQ(items.at(all[i])["message"], "");
    }
    // Planned twice is never sent: the devices keep their addresses.
    browser_.drain(1500);
    EXPECT_EQ(browser_.device(all[1])->value("ip", ""), "10.88.1.101");
    EXPECT_NE(browser_.device(all[36])->value("ip", ""), "10.88.1.200");
    EXPECT_NE(browser_.device(all[37])->value("ip", ""), "10.88.1.200");
    EXPECT_EQ(browser_.device(all[39])->value("ip", ""), held);
    EXPECT_NE(browser_.device(all[38])->value("ip", ""), held);
    for (int i : {36, 37, 38}) {
        EXPECT_EQ(testsupport::readText(simLog_).find("configuration of " + all[i]),
                  std::string::npos)
            << all[i] << " failed its checks and must not have been sent";
    }

    // A second job, cancelled once its first item has ended.
    json second = json::array();
    for (int i = 1; i < 21; ++i) {
        second.push_back(item(all[i], "10.88.1." + std::to_string(160 + i)));
    }
    const json firstStarted = browser_.batch["startedTime"];
    ASSERT_TRUE(browser_.send(batchRequest("b3", second)));
    // The first job's report stays until the second one's arrives.
    ASSERT_TRUE(
        browser_.waitUntil([&] { return browser_.batch["startedTime"] != firstStarted; }, 5000));
    ASSERT_TRUE(browser_.waitUntil(
        [&] {
            for (const auto& [id, i] : itemsById()) {
                if (i["status"] == "done") {
                    return true;
                }
            }
            return false;
        },
        jobMs));
    ASSERT_TRUE(browser_.send({{"reqType", "CancelBatch"}, {"reqId", "c1"}}));
    ASSERT_TRUE(browser_.waitUntil([&] { return ended("cancelled"); }, jobMs))
        << browser_.batch.dump(1);
    int done = 0;
    int cancelled = 0;
    for (const auto& [id, i] : itemsById()) {
        done += i["status"] == "done" ? 1 : 0;
        cancelled += i["status"] == "cancelled" ? 1 : 0;
        EXPECT_TRUE(i["status"] == "done" || i["status"] == "cancelled") << i.dump();
    }
    EXPECT_GE(done, 1);
    EXPECT_LE(done, 16) << "at most the first two waves were under way";
    EXPECT_EQ(done + cancelled, 20);
}
