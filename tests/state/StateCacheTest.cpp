#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "StateTestSupport.h"
#include "state/Event.h"

using namespace statetest;

namespace {

// A kind the cache does not handle.
struct Unhandled : Event {
    void accept(IEventHandler&) const override {}
};

class Raiser : public ICacheNotifier {};

}  // namespace

class StateCacheDiff : public ::testing::Test {
protected:
    void raise(Event&& event) { Raiser().notifyCache(&event); }

    CacheRig rig;
};

TEST_F(StateCacheDiff, DeviceChangeHoldsOnlyTheIdAndTheChangedKey) {
    raise(DeviceChanged("a_1", "name", QJsonValue("cam")));
    ASSERT_EQ(rig.diffs.size(), 1);
    EXPECT_EQ(
        rig.lastDiff(),
        (QJsonObject{{"devices", QJsonObject{{"updated", QJsonArray{QJsonObject{
                                                             {"id", "a_1"}, {"name", "cam"}}}}}}}));
}

TEST_F(StateCacheDiff, RemovalHoldsAnObjectWithOnlyTheId) {
    raise(DeviceRemoved("a_1"));
    EXPECT_EQ(rig.lastDiff(),
              (QJsonObject{
                  {"devices", QJsonObject{{"removed", QJsonArray{QJsonObject{{"id", "a_1"}}}}}}}));
}

TEST_F(StateCacheDiff, AdditionHoldsTheWholeDevice) {
    auto device = sampleDevice("a_1");
    raise(DeviceAdded(device.data()));
    const QJsonArray added = rig.lastDiff().value("devices").toObject().value("added").toArray();
    ASSERT_EQ(added.size(), 1);
    EXPECT_EQ(added[0].toObject().size(), 28);
    EXPECT_EQ(added[0].toObject(), device->toJson().toObject());
}

TEST_F(StateCacheDiff, ApplicationKeyIsATopLevelKey) {
    raise(AppStateChanged("theme", QJsonValue("dark")));
    EXPECT_EQ(rig.lastDiff(), (QJsonObject{{"theme", "dark"}}));
}

TEST_F(StateCacheDiff, AutoScannerKeysGoUnderAutoScanner) {
    raise(AutoScannerChanged("isActive", QJsonValue(true)));
    EXPECT_EQ(rig.lastDiff(), (QJsonObject{{"autoScanner", QJsonObject{{"isActive", true}}}}));
}

TEST_F(StateCacheDiff, UnhandledKindWithNothingPendingEmitsEmptyBytes) {
    raise(Unhandled());
    ASSERT_EQ(rig.diffs.size(), 1);
    EXPECT_TRUE(rig.diffs[0].isEmpty());
}

TEST_F(StateCacheDiff, DiffIsIndentedJson) {
    raise(AppStateChanged("theme", QJsonValue("dark")));
    EXPECT_EQ(rig.diffs[0],
              QJsonDocument(QJsonObject{{"theme", "dark"}}).toJson(QJsonDocument::Indented));
}

TEST_F(StateCacheDiff, EachEventYieldsItsOwnDiff) {
    raise(DeviceChanged("a_1", "name", QJsonValue("x")));
    raise(DeviceChanged("a_1", "ip", QJsonValue("10.0.0.1")));
    ASSERT_EQ(rig.diffs.size(), 2);
    const QJsonObject second =
        rig.diff(1).value("devices").toObject().value("updated").toArray()[0].toObject();
    EXPECT_EQ(second, (QJsonObject{{"id", "a_1"}, {"ip", "10.0.0.1"}}));
}

TEST_F(StateCacheDiff, UpdatesOfSeveralDevicesComeInAscendingIdOrder) {
    // Several changes pending in one diff arise when a change is raised while
    // the cache handles another; the map orders them by id.
    rig.cache->handle(DeviceChanged("c_3", "name", QJsonValue("c")));
    rig.cache->handle(DeviceChanged("a_1", "name", QJsonValue("a")));
    rig.cache->handle(DeviceChanged("a_1", "ip", QJsonValue("1.2.3.4")));
    raise(DeviceChanged("b_2", "name", QJsonValue("b")));
    const QJsonArray updated =
        rig.lastDiff().value("devices").toObject().value("updated").toArray();
    ASSERT_EQ(updated.size(), 3);
    EXPECT_EQ(updated[0].toObject(),
              (QJsonObject{{"id", "a_1"}, {"name", "a"}, {"ip", "1.2.3.4"}}));
    EXPECT_EQ(updated[1].toObject().value("id"), QJsonValue("b_2"));
    EXPECT_EQ(updated[2].toObject().value("id"), QJsonValue("c_3"));
}

TEST_F(StateCacheDiff, NotificationsRideTheNextDiffOnceAndInOrder) {
    FixedClock clock(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC));
    ClockScope scope(&clock);
    rig.provider.notifications.add(makeNotification("first"));
    rig.provider.notifications.add(makeNotification("second"));

    raise(DeviceChanged("a_1", "name", QJsonValue("x")));
    raise(DeviceChanged("a_1", "name", QJsonValue("y")));

    const QJsonArray notes = rig.diff(0).value("notifications").toArray();
    ASSERT_EQ(notes.size(), 2);
    EXPECT_EQ(notes[0].toObject(),
              (QJsonObject{{"message", "first"}, {"creationTime", "2026-03-04T05:06:07Z"}}));
    EXPECT_EQ(notes[1].toObject().value("message"), QJsonValue("second"));
    EXPECT_FALSE(rig.diff(1).contains("notifications"));
    EXPECT_TRUE(rig.provider.notifications.items().isEmpty());
}

TEST_F(StateCacheDiff, UnhandledKindStillDeliversPendingNotifications) {
    rig.provider.notifications.add(makeNotification("alone"));
    raise(Unhandled());
    EXPECT_EQ(rig.lastDiff().keys(), QStringList{"notifications"});
}

TEST_F(StateCacheDiff, FullStateHoldsEveryDeviceAndNoNotifications) {
    rig.provider.devices.add(sampleDevice("a_1"));
    rig.provider.devices.add(sampleDevice("b_2"));
    rig.provider.notifications.add(makeNotification("later"));

    const QByteArray full = rig.cache->onFullStateRequested();

    EXPECT_EQ(full,
              QJsonDocument(rig.provider.toJson().toObject()).toJson(QJsonDocument::Indented));
    const QJsonObject state = parseObject(full);
    EXPECT_EQ(state.value("devices").toObject().value("list").toArray().size(), 2);
    EXPECT_FALSE(state.contains("notifications"));
    EXPECT_EQ(rig.provider.notifications.items().size(), 1);
}

TEST_F(StateCacheDiff, CacheAnswersToItsInterfaceName) {
    EXPECT_EQ(rig.cache->qt_metacast("IEventHandler"),
              static_cast<IEventHandler*>(rig.cache.data()));
}

TEST(StateCacheLifetime, DestroyedCacheDropsEventsWithoutFailing) {
    auto device = QSharedPointer<Device>::create("a_1");
    {
        CacheRig rig;
        EXPECT_EQ(cacheInstance(), rig.cache.data());
    }
    EXPECT_EQ(cacheInstance(), nullptr);
    device->name.set("after");
    Raiser().notifyCache(nullptr);
    EXPECT_EQ(device->name.get(), QStringLiteral("after"));
}

TEST(StateCacheLifetime, LogLinesNameTheChange) {
    CacheRig rig;
    LogCapture log;
    Raiser raiser;
    AppStateChanged theme("theme", QJsonValue("dark"));
    raiser.notifyCache(&theme);
    DeviceRemoved removed("a_1");
    raiser.notifyCache(&removed);
    EXPECT_TRUE(log.contains("App state change: "));
    EXPECT_TRUE(log.contains("\"theme\""));
    EXPECT_TRUE(log.contains("Removed device:  \"a_1\""));
}
