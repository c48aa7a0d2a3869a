#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "FakeClock.h"
#include "FakeProtocolEngine.h"
#include "device/AutoScanner.h"
#include "device/DeviceDisconnectedDetector.h"
#include "device/NetworkMonitor.h"
#include "state/DeviceStore.h"

using devicetest::waitForQt;

namespace {

class DisconnectDetection : public ::testing::Test {
protected:
    QSharedPointer<Device> addDevice(const QString& id, qint64 lastSeenAgoMs) {
        auto device = QSharedPointer<Device>::create(id);
        if (lastSeenAgoMs >= 0) {
            device->markSeen(clock.currentDateTime().addMSecs(-lastSeenAgoMs),
                             clock.monotonicMs() - lastSeenAgoMs);
        }
        store.add(device);
        return device;
    }

    static QStringList idsOf(const QSharedPointer<Event>& event) {
        QStringList ids;
        if (const auto* silent = dynamic_cast<const DevicesDisconnected*>(event.data())) {
            for (const auto& weak : silent->devices) {
                ids << weak.toStrongRef()->id.get();
            }
        }
        return ids;
    }

    fakes::FakeClock clock;
    DeviceStore store;
    fakes::FakeProtocolEngine engine;
    AutoScanner scanner{&engine};
    DeviceDisconnectedDetector detector{&store};
};

}  // namespace

TEST_F(DisconnectDetection, ThreeSecondsOfSilenceMakeADeviceDisconnected) {
    addDevice("a", 2999);
    EXPECT_TRUE(detector.check().isNull());
    addDevice("b", 3000);
    addDevice("c", 60000);
    EXPECT_EQ(idsOf(detector.check()), (QStringList{"b", "c"}));
    EXPECT_EQ(detector.thresholdMs(), 3000);
}

TEST_F(DisconnectDetection, ADeviceNeverSeenIsNeverReported) {
    addDevice("never", -1);
    clock.advanceMs(600000);
    EXPECT_TRUE(detector.check().isNull());
}

TEST_F(DisconnectDetection, ADeviceSeenOnlyInADocumentCountsAsSilentSinceLongAgo) {
    auto favourite = QSharedPointer<Device>::create();
    favourite->id.set("favourite");
    // Read from the settings, seen a minute from now by the wall clock.
    favourite->lastSeen.set(clock.currentDateTime().addSecs(60));
    store.add(favourite);
    EXPECT_EQ(idsOf(detector.check()), QStringList{"favourite"});
}

TEST_F(DisconnectDetection, SilentDevicesAreReportedAgainOnEveryCheck) {
    addDevice("a", 5000);
    EXPECT_EQ(idsOf(detector.check()), QStringList{"a"});
    EXPECT_EQ(idsOf(detector.check()), QStringList{"a"});
}

TEST_F(DisconnectDetection, TheMonitorChecksOnlyWhileScanningIsActive) {
    NetworkMonitor monitor(&store, &scanner);
    QVector<QSharedPointer<Event>> raised;
    QObject::connect(&monitor, &INetworkMonitor::raiseEvent,
                     [&](QSharedPointer<Event> event) { raised.append(event); });
    addDevice("a", 60000);
    monitor.onTimeout();
    EXPECT_TRUE(raised.isEmpty());
    scanner.isActive.set(true);
    monitor.onTimeout();
    ASSERT_EQ(raised.size(), 1);
    EXPECT_EQ(idsOf(raised[0]), QStringList{"a"});
}

TEST_F(DisconnectDetection, TheMonitorRaisesNothingWhenAllDevicesAnswer) {
    NetworkMonitor monitor(&store, &scanner);
    int raised = 0;
    QObject::connect(&monitor, &INetworkMonitor::raiseEvent, [&] { ++raised; });
    scanner.isActive.set(true);
    addDevice("a", 100);
    monitor.onTimeout();
    EXPECT_EQ(raised, 0);
}

TEST_F(DisconnectDetection, AfterAStalledMainThreadTheFirstCheckIsSkipped) {
    NetworkMonitor monitor(&store, &scanner);
    QVector<QSharedPointer<Event>> raised;
    QObject::connect(&monitor, &INetworkMonitor::raiseEvent,
                     [&](QSharedPointer<Event> event) { raised.append(event); });
    scanner.isActive.set(true);
    addDevice("a", 100);
    monitor.onTimeout();
    // Held up for 30 s: the answer of "a" may still wait in the queue.
    clock.advanceMs(30000);
    monitor.onTimeout();
    EXPECT_TRUE(raised.isEmpty());
    clock.advanceMs(1000);
    monitor.onTimeout();
    ASSERT_EQ(raised.size(), 1);
    EXPECT_EQ(idsOf(raised[0]), QStringList{"a"});
}

TEST_F(DisconnectDetection, TicksAtTheLongestOnTimeGapAllCheck) {
    NetworkMonitor monitor(&store, &scanner);
    int raised = 0;
    QObject::connect(&monitor, &INetworkMonitor::raiseEvent, [&] { ++raised; });
    scanner.isActive.set(true);
    addDevice("a", 100);
    for (int tick = 0; tick < 5; ++tick) {
        monitor.onTimeout();
        clock.advanceMs(NetworkMonitor::stallMs);
    }
    // Silent for 3 s from the third tick on: reported on ticks 3 to 5.
    EXPECT_EQ(raised, 3);
}

TEST_F(DisconnectDetection, TheMonitorTimerRunsOnlyWhenEnabled) {
    NetworkMonitor monitor(&store, &scanner);
    EXPECT_FALSE(monitor.isEnabled());
    monitor.setEnabled(true);
    monitor.setEnabled(true);
    EXPECT_TRUE(monitor.isEnabled());

    int raised = 0;
    QObject::connect(&monitor, &INetworkMonitor::raiseEvent, [&] { ++raised; });
    scanner.isActive.set(true);
    addDevice("a", 60000);
    EXPECT_TRUE(waitForQt([&] { return raised >= 1; }, 5000));

    monitor.setEnabled(false);
    EXPECT_FALSE(monitor.isEnabled());
}

// Setting the system time moves only the wall clock: silence and the stall
// of the main thread are measured on the monotonic one.
class DisconnectDetectionWallClockJump : public DisconnectDetection,
                                         public ::testing::WithParamInterface<qint64> {};

TEST_P(DisconnectDetectionWallClockJump, NeitherShortensNorStretchesTheSilence) {
    addDevice("a", 0);
    clock.jumpWallClockMs(GetParam());
    clock.advanceMs(2999);
    EXPECT_TRUE(detector.check().isNull());
    clock.advanceMs(1);
    EXPECT_EQ(idsOf(detector.check()), QStringList{"a"});
}

TEST_P(DisconnectDetectionWallClockJump, IsNotTakenForAStalledMainThread) {
    NetworkMonitor monitor(&store, &scanner);
    QVector<QSharedPointer<Event>> raised;
    QObject::connect(&monitor, &INetworkMonitor::raiseEvent,
                     [&](QSharedPointer<Event> event) { raised.append(event); });
    scanner.isActive.set(true);
    addDevice("a", 60000);
    monitor.onTimeout();
    ASSERT_EQ(raised.size(), 1);
    clock.jumpWallClockMs(GetParam());
    clock.advanceMs(1000);
    monitor.onTimeout();
    EXPECT_EQ(raised.size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Jumps, DisconnectDetectionWallClockJump,
                         ::testing::Values(-3 * 3600 * 1000LL, 3 * 3600 * 1000LL, -60000LL),
                         [](const auto& info) {
                             return (info.param < 0 ? "Back" : "Forward") +
                                    std::to_string(std::abs(info.param) / 1000) + "s";
                         });
