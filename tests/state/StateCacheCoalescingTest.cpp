#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "NetLab.h"
#include "StateTestSupport.h"
#include "state/Event.h"

using namespace statetest;

namespace {

class Raiser : public ICacheNotifier {};

using DeviceMap = std::map<QString, QJsonObject>;

// Applies a diff's device parts in the given order, as a browser does.
enum class Part { Added, Removed, Updated };

void applyDevices(DeviceMap& devices, const QJsonObject& diff, const std::array<Part, 3>& order) {
    const QJsonObject parts = diff.value("devices").toObject();
    for (Part part : order) {
        if (part == Part::Added) {
            for (const QJsonValue& added : parts.value("added").toArray()) {
                devices[added.toObject().value("id").toString()] = added.toObject();
            }
        } else if (part == Part::Removed) {
            for (const QJsonValue& removed : parts.value("removed").toArray()) {
                devices.erase(removed.toObject().value("id").toString());
            }
        } else {
            for (const QJsonValue& value : parts.value("updated").toArray()) {
                const QJsonObject entry = value.toObject();
                // Even a reader that creates what it updates must end right.
                QJsonObject& device = devices[entry.value("id").toString()];
                for (auto it = entry.begin(); it != entry.end(); ++it) {
                    device.insert(it.key(), it.value());
                }
            }
        }
    }
}

}  // namespace

class StateCacheCoalescing : public ::testing::Test {
protected:
    StateCacheCoalescing() {
        rig.cache->setCoalescing(true);
        // A loaded machine may take longer than the real maximum age between
        // two events of one test; only the test of that age uses it.
        rig.cache->setCoalesceMaxAge(600000);
    }

    void raise(Event&& event) { Raiser().notifyCache(&event); }

    // Lets the turn end and the diff go out.
    void endTurn() { QCoreApplication::processEvents(); }

    QJsonObject devicesOf(int diff) { return rig.diff(diff).value("devices").toObject(); }

    CacheRig rig;
};

TEST_F(StateCacheCoalescing, ChangesOfOneTurnGoOutAsOneDiffWhenTheTurnEnds) {
    raise(DeviceChanged("b_2", "name", QJsonValue("b")));
    raise(DeviceChanged("a_1", "name", QJsonValue("a")));
    raise(DeviceChanged("a_1", "ip", QJsonValue("10.0.0.1")));
    raise(AppStateChanged("theme", QJsonValue("dark")));
    raise(AutoScannerChanged("isActive", QJsonValue(true)));
    EXPECT_TRUE(rig.diffs.isEmpty());

    endTurn();
    ASSERT_EQ(rig.diffs.size(), 1);
    EXPECT_EQ(
        rig.lastDiff(),
        (QJsonObject{
            {"theme", "dark"},
            {"autoScanner", QJsonObject{{"isActive", true}}},
            {"devices",
             QJsonObject{{"updated",
                          QJsonArray{QJsonObject{{"id", "a_1"}, {"name", "a"}, {"ip", "10.0.0.1"}},
                                     QJsonObject{{"id", "b_2"}, {"name", "b"}}}}}}}));
    // Nothing more happened: no further (empty) diff.
    endTurn();
    EXPECT_EQ(rig.diffs.size(), 1);
}

TEST_F(StateCacheCoalescing, SuccessiveTurnsGoOutInTheirOrder) {
    raise(DeviceChanged("a_1", "name", QJsonValue("first")));
    endTurn();
    raise(DeviceChanged("a_1", "name", QJsonValue("second")));
    endTurn();
    ASSERT_EQ(rig.diffs.size(), 2);
    EXPECT_EQ(devicesOf(0).value("updated").toArray()[0].toObject().value("name"),
              QJsonValue("first"));
    EXPECT_EQ(devicesOf(1).value("updated").toArray()[0].toObject().value("name"),
              QJsonValue("second"));
}

TEST_F(StateCacheCoalescing, ChangesOfADeviceAddedInTheSameDiffGoIntoItsObject) {
    auto device = sampleDevice("a_1");
    raise(DeviceAdded(device.data()));
    raise(DeviceChanged("a_1", "ip", QJsonValue("10.9.9.9")));
    // Not a key of the device object: it stays an update.
    raise(DeviceChanged("a_1", "shouldProcess", QJsonValue(true)));
    endTurn();
    ASSERT_EQ(rig.diffs.size(), 1);
    const QJsonObject devices = devicesOf(0);
    QJsonObject expected = device->toJson().toObject();
    expected.insert("ip", "10.9.9.9");
    EXPECT_EQ(devices.value("added").toArray(), QJsonArray{expected});
    EXPECT_EQ(devices.value("updated").toArray(),
              (QJsonArray{QJsonObject{{"id", "a_1"}, {"shouldProcess", true}}}));
    EXPECT_FALSE(devices.contains("removed"));
}

TEST_F(StateCacheCoalescing, ALongTurnStillSendsItsChangesAfterTheMaximumAge) {
    rig.cache->setCoalesceMaxAge(StateCache::coalesceMaxAgeMs);
    raise(DeviceChanged("a_1", "name", QJsonValue("early")));
    QElapsedTimer waited;
    waited.start();
    // The turn goes on (no events processed) past the maximum age.
    ASSERT_TRUE(testsupport::waitFor(
        [&] { return waited.elapsed() > StateCache::coalesceMaxAgeMs; }, 10000));
    EXPECT_TRUE(rig.diffs.isEmpty());
    raise(DeviceChanged("a_1", "name", QJsonValue("late")));
    ASSERT_EQ(rig.diffs.size(), 1);
    EXPECT_EQ(devicesOf(0).value("updated").toArray()[0].toObject().value("name"),
              QJsonValue("late"));
    endTurn();
    EXPECT_EQ(rig.diffs.size(), 1);
}

TEST_F(StateCacheCoalescing, ADiffHoldsAtMostTheMaximumNumberOfDevices) {
    const int count = StateCache::coalesceMaxEntries + 10;
    for (int i = 0; i < count; ++i) {
        raise(DeviceChanged(QStringLiteral("d_%1").arg(i, 5, 10, QLatin1Char('0')), "name",
                            QJsonValue(i)));
    }
    ASSERT_EQ(rig.diffs.size(), 1);
    EXPECT_EQ(devicesOf(0).value("updated").toArray().size(), StateCache::coalesceMaxEntries);
    endTurn();
    ASSERT_EQ(rig.diffs.size(), 2);
    EXPECT_EQ(devicesOf(1).value("updated").toArray().size(), 10);
}

TEST_F(StateCacheCoalescing, DeviceRemovedAndAddedAgainGoesOutInTwoDiffs) {
    auto device = sampleDevice("a_1");
    raise(DeviceChanged("a_1", "name", QJsonValue("before")));
    raise(DeviceRemoved("a_1"));
    raise(DeviceAdded(device.data()));
    raise(DeviceChanged("a_1", "name", QJsonValue("after")));
    endTurn();
    ASSERT_EQ(rig.diffs.size(), 2);
    EXPECT_EQ(rig.diff(0),
              (QJsonObject{
                  {"devices", QJsonObject{{"removed", QJsonArray{QJsonObject{{"id", "a_1"}}}}}}}));
    const QJsonObject second = devicesOf(1);
    EXPECT_FALSE(second.contains("removed"));
    EXPECT_FALSE(second.contains("updated"));
    ASSERT_EQ(second.value("added").toArray().size(), 1);
    EXPECT_EQ(second.value("added").toArray()[0].toObject().value("name"), QJsonValue("after"));
}

TEST_F(StateCacheCoalescing, NotificationsRideTheTurnsDiffOnce) {
    rig.provider.notifications.add(makeNotification("first"));
    raise(DeviceChanged("a_1", "name", QJsonValue("x")));
    rig.provider.notifications.add(makeNotification("second"));
    raise(DeviceChanged("a_1", "ip", QJsonValue("10.0.0.2")));
    endTurn();
    ASSERT_EQ(rig.diffs.size(), 1);
    const QJsonArray notes = rig.lastDiff().value("notifications").toArray();
    ASSERT_EQ(notes.size(), 2);
    EXPECT_EQ(notes[0].toObject().value("message"), QJsonValue("first"));
    EXPECT_EQ(notes[1].toObject().value("message"), QJsonValue("second"));
    EXPECT_TRUE(rig.provider.notifications.items().isEmpty());
}

TEST_F(StateCacheCoalescing, FullStateRequestSendsWhatIsPendingFirst) {
    raise(DeviceChanged("a_1", "name", QJsonValue("pending")));
    const QByteArray full = rig.cache->onFullStateRequested();
    EXPECT_FALSE(full.isEmpty());
    ASSERT_EQ(rig.diffs.size(), 1);
    EXPECT_EQ(devicesOf(0).value("updated").toArray()[0].toObject().value("name"),
              QJsonValue("pending"));
    endTurn();
    EXPECT_EQ(rig.diffs.size(), 1);
}

TEST_F(StateCacheCoalescing, SwitchingOffSendsWhatIsPending) {
    raise(DeviceChanged("a_1", "name", QJsonValue("pending")));
    rig.cache->setCoalescing(false);
    ASSERT_EQ(rig.diffs.size(), 1);
    raise(DeviceChanged("a_1", "name", QJsonValue("alone")));
    EXPECT_EQ(rig.diffs.size(), 2);
    endTurn();
    EXPECT_EQ(rig.diffs.size(), 2);
}

TEST_F(StateCacheCoalescing, EventsFromAnotherThreadCoalesceWithoutEverGoingBack) {
    std::thread raiser([] {
        Raiser notifier;
        for (int i = 0; i < 500; ++i) {
            AutoScannerChanged event("scanIntervalMs", QJsonValue(i));
            notifier.notifyCache(&event);
        }
    });
    raiser.join();
    ASSERT_TRUE(waitProcessing([&] {
        return !rig.diffs.isEmpty() &&
               rig.lastDiff().value("autoScanner").toObject().value("scanIntervalMs").toInt() ==
                   499;
    }));
    EXPECT_LT(rig.diffs.size(), 500);
    int previous = -1;
    for (int i = 0; i < rig.diffs.size(); ++i) {
        const int value =
            rig.diff(i).value("autoScanner").toObject().value("scanIntervalMs").toInt(-1);
        EXPECT_GT(value, previous);
        previous = value;
    }
}

// Random runs of additions, changes and removals over a few devices, with
// turns ending at random: whatever order a reader applies a diff's parts in,
// it ends with the devices that raising the events one by one describes.
TEST_F(StateCacheCoalescing, DiffsDescribeTheSameDevicesAsTheEventsOneByOne) {
    const std::vector<std::array<Part, 3>> orders = {
        {Part::Removed, Part::Added, Part::Updated},
        {Part::Added, Part::Removed, Part::Updated},
        {Part::Added, Part::Updated, Part::Removed},
    };
    const QStringList ids = {"a_1", "b_2", "c_3"};
    const QStringList keys = {"name", "ip", "isFavorite", "shouldProcess"};
    std::mt19937 random(20261208);
    for (int run = 0; run < 200; ++run) {
        rig.diffs.clear();
        DeviceMap expected;
        std::vector<QSharedPointer<Device>> live;
        for (int step = 0; step < 30; ++step) {
            const QString id = ids[random() % ids.size()];
            const int action = random() % 4;
            if (action == 0) {
                auto device = QSharedPointer<Device>::create(id);
                device->name.set(QStringLiteral("run %1 step %2").arg(run).arg(step));
                live.push_back(device);
                expected[id] = device->toJson().toObject();
                raise(DeviceAdded(device.data()));
            } else if (action == 1) {
                if (expected.erase(id) > 0) {
                    raise(DeviceRemoved(id));
                }
            } else if (expected.count(id) > 0) {
                const QString key = keys[random() % keys.size()];
                const QJsonValue value = QStringLiteral("%1-%2").arg(run).arg(step);
                expected[id].insert(key, value);
                raise(DeviceChanged(id, key, value));
            }
            if (random() % 5 == 0) {
                endTurn();
            }
        }
        endTurn();
        for (const auto& order : orders) {
            DeviceMap seen;
            for (int i = 0; i < rig.diffs.size(); ++i) {
                applyDevices(seen, rig.diff(i), order);
            }
            ASSERT_EQ(seen, expected) << "run " << run;
        }
    }
}
