#pragma once

// The fixture of the fault-injection cases: the real lanfinder in a private
// lab (a PC namespace with one card, a device namespace running
// lanfinder-sim behind it), started with a home of its own and, when a case
// needs it, inside a private mount namespace prepared by a shell script (a
// read-only or tiny settings folder). Faults are then made from outside and
// the cases check what a user would see.

#include <sys/types.h>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "LanfinderLab.h"

namespace fault {

constexpr int appStartMs = 20000;
constexpr int deviceMs = 15000;

class LanfinderFault : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // lanfinder-sim with `count` generated devices behind the card.
    pid_t startSim(int count = 3);
    void stopSim(pid_t pid);

    // Starts lanfinder in the PC namespace. A non-empty `prepare` is a shell
    // script run first in a private mount namespace of the program's own
    // (DATA names the settings folder, LOGS a writable folder for the logs);
    // lanfinder then runs in that namespace.
    int startApp(const std::string& prepare = {});
    e2e::BrowserView& connect(int port);
    // Connects and waits until `count` devices are complete.
    e2e::BrowserView& connectWithDevices(int port, std::size_t count);

    bool complete(const e2e::BrowserView& b, const std::string& id) const;
    bool allComplete(const e2e::BrowserView& b, std::size_t count) const;
    bool deviceHas(const e2e::BrowserView& b, const std::string& id, const std::string& key,
                   const nlohmann::json& value) const;
    // Sends SetFavorite and waits for its answer.
    bool setFavorite(e2e::BrowserView& b, const std::string& id, bool on);
    std::string anyDeviceId(const e2e::BrowserView& b) const;

    // The settings folder and file as the running program sees them (through
    // its root, so a private mount is seen too).
    std::string dataDir() const;
    std::string settingsPath() const;
    std::string settingsSeenByApp() const;
    std::string appLogText() const;
    std::string diagnostics() const;

    testsupport::NetLab lab_;
    std::string work_;
    std::string pc_;
    std::string dev_;
    std::unique_ptr<e2e::AppHome> home_;
    std::unique_ptr<e2e::BrowserView> browser_;
    std::string appOut_;
    pid_t app_ = -1;
    int port_ = 0;
    int sims_ = 0;
    int apps_ = 0;
    int requests_ = 0;
};

}  // namespace fault
