#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "StateTestSupport.h"
#include "state/DeviceStore.h"

using namespace statetest;

namespace {

QJsonArray persistedList(const QStringList& ids) {
    QJsonArray list;
    for (const QString& id : ids) {
        auto device = sampleDevice(id);
        device->isMissing.set(false);
        device->isProcessing.set(true);
        device->isRebooting.set(true);
        list.append(device->toJson());
    }
    return list;
}

QStringList idsOf(const DeviceStore& store) {
    QStringList ids;
    for (const auto& device : store.items()) {
        ids.append(device->id.get());
    }
    return ids;
}

}  // namespace

TEST(DeviceStore, AddAppendsAndRaisesAddedWithTheStoredDevice) {
    CacheRig rig;
    auto device = QSharedPointer<Device>::create(QStringLiteral("a_1"));
    device->name.set(QStringLiteral("cam"));
    rig.diffs.clear();

    rig.provider.devices.add(device);

    EXPECT_EQ(idsOf(rig.provider.devices), QStringList{"a_1"});
    ASSERT_EQ(rig.diffs.size(), 1);
    const QJsonArray added = rig.lastDiff().value("devices").toObject().value("added").toArray();
    ASSERT_EQ(added.size(), 1);
    EXPECT_EQ(added[0].toObject(), device->toJson().toObject());
}

TEST(DeviceStore, FindReturnsTheDeviceWithThatId) {
    DeviceStore store;
    auto a = QSharedPointer<Device>::create(QStringLiteral("a_1"));
    auto b = QSharedPointer<Device>::create(QStringLiteral("b_2"));
    store.add(a);
    store.add(b);
    EXPECT_EQ(store.find(QStringLiteral("b_2")).toStrongRef(), b);
    EXPECT_EQ(store.find(QStringLiteral("a_1")).toStrongRef(), a);
}

TEST(DeviceStore, LookupIsCaseSensitive) {
    DeviceStore store;
    store.add(QSharedPointer<Device>::create(QStringLiteral("va2000_abc")));
    EXPECT_TRUE(store.find(QStringLiteral("VA2000_ABC"), true).isNull());
    EXPECT_FALSE(store.find(QStringLiteral("va2000_abc"), true).isNull());
}

TEST(DeviceStore, MissingIdLogsUnlessQuiet) {
    DeviceStore store;
    {
        LogCapture log;
        EXPECT_TRUE(store.find(QStringLiteral("x_1")).isNull());
        EXPECT_TRUE(log.lines().contains(QStringLiteral("Device [x_1] not found")));
    }
    {
        LogCapture log;
        EXPECT_TRUE(store.find(QStringLiteral("x_1"), true).isNull());
        EXPECT_TRUE(log.lines().isEmpty());
    }
}

TEST(DeviceStore, FindAmongTenThousandReturnsTheFirstOfDuplicateIds) {
    DeviceStore store;
    QVector<QSharedPointer<Device>> firsts;
    for (int i = 0; i < 10000; ++i) {
        auto device = QSharedPointer<Device>::create(QStringLiteral("art_%1").arg(i % 5000));
        if (i < 5000) {
            firsts.append(device);
        }
        store.add(device);
    }
    for (int i = 0; i < 5000; i += 499) {
        EXPECT_EQ(store.find(QStringLiteral("art_%1").arg(i)).toStrongRef(), firsts[i]) << i;
    }
    // With the first removed, the second holder of the id comes first.
    store.remove(firsts[7]);
    const auto second = store.find(QStringLiteral("art_7")).toStrongRef();
    ASSERT_TRUE(second);
    EXPECT_NE(second, firsts[7]);
    EXPECT_EQ(second->id.get(), QStringLiteral("art_7"));
    EXPECT_EQ(store.items().size(), 9999);
}

TEST(DeviceStore, FindFollowsAnIdChangedInTheStore) {
    DeviceStore store;
    auto device = QSharedPointer<Device>::create(QStringLiteral("old_1"));
    store.add(device);
    device->id.set(QStringLiteral("new_1"));
    EXPECT_TRUE(store.find(QStringLiteral("old_1"), true).isNull());
    EXPECT_EQ(store.find(QStringLiteral("new_1")).toStrongRef(), device);

    device->id.set(QStringLiteral("newer_1"));
    store.remove(device);
    EXPECT_TRUE(store.items().isEmpty());
    EXPECT_TRUE(store.find(QStringLiteral("newer_1"), true).isNull());
    EXPECT_TRUE(store.find(QStringLiteral("new_1"), true).isNull());
}

TEST(DeviceStore, RemoveRaisesRemovedThenTakesEveryEntryOfTheDevice) {
    CacheRig rig;
    DeviceStore& store = rig.provider.devices;
    auto a = QSharedPointer<Device>::create(QStringLiteral("a_1"));
    auto b = QSharedPointer<Device>::create(QStringLiteral("b_2"));
    store.add(a);
    store.add(b);
    store.add(a);
    // The cache serialises the full state while handling the removal: the
    // device must still be in the store then.
    QStringList seenDuringRemoval;
    QObject::connect(rig.cache.data(), &StateCache::cacheUpdated,
                     [&](const QByteArray&) { seenDuringRemoval = idsOf(store); });
    rig.diffs.clear();

    store.remove(a);

    EXPECT_EQ(idsOf(store), QStringList{"b_2"});
    EXPECT_EQ(seenDuringRemoval, (QStringList{"a_1", "b_2", "a_1"}));
    ASSERT_EQ(rig.diffs.size(), 1);
    EXPECT_EQ(rig.lastDiff().value("devices").toObject().value("removed"),
              QJsonValue(QJsonArray{QJsonObject{{"id", "a_1"}}}));
    EXPECT_TRUE(store.find(QStringLiteral("a_1"), true).isNull());
}

TEST(DeviceStore, NullDeviceIsNeitherAddedNorRemoved) {
    CacheRig rig;
    DeviceStore& store = rig.provider.devices;
    store.add(QSharedPointer<Device>());
    store.remove(QSharedPointer<Device>());
    EXPECT_TRUE(store.items().isEmpty());
    EXPECT_TRUE(rig.diffs.isEmpty());
}

TEST(DeviceStore, RemovingAnAbsentDeviceRaisesRemovedAndChangesNothing) {
    CacheRig rig;
    DeviceStore& store = rig.provider.devices;
    store.add(QSharedPointer<Device>::create(QStringLiteral("a_1")));
    rig.diffs.clear();

    store.remove(QSharedPointer<Device>::create(QStringLiteral("a_1")));

    EXPECT_EQ(idsOf(store), QStringList{"a_1"});
    ASSERT_EQ(rig.diffs.size(), 1);
    EXPECT_TRUE(rig.lastDiff().value("devices").toObject().contains("removed"));
    EXPECT_FALSE(store.find(QStringLiteral("a_1"), true).isNull());
}

TEST(DeviceStore, LoadPersistedMarksEveryDeviceMissingAndIdle) {
    DeviceStore store;
    auto discovered = QSharedPointer<Device>::create(QStringLiteral("d_0"));
    discovered->shouldProcess.set(true);
    discovered->isProcessing.set(true);
    store.add(discovered);

    store.loadPersisted(persistedList({"f_1", "f_2"}));

    EXPECT_EQ(idsOf(store), (QStringList{"d_0", "f_1", "f_2"}));
    for (const auto& device : store.items()) {
        EXPECT_TRUE(device->isMissing.get()) << device->id.get().toStdString();
        EXPECT_FALSE(device->shouldProcess.get());
        EXPECT_FALSE(device->isProcessing.get());
        EXPECT_FALSE(device->isRebooting.get());
    }
    EXPECT_EQ(store.find(QStringLiteral("f_2")).toStrongRef(), store.items().last());
}

TEST(DeviceStore, PersistedFavouriteReportsItsChangesOnceLoaded) {
    DeviceStore store;
    store.loadPersisted(persistedList({"f_1"}));
    CacheRig rig;

    store.items().first()->isMissing.set(false);

    ASSERT_EQ(rig.diffs.size(), 1);
    EXPECT_EQ(rig.lastDiff().value("devices").toObject().value("updated"),
              QJsonValue(QJsonArray{QJsonObject{{"id", "f_1"}, {"isMissing", false}}}));
}

TEST(DeviceStore, LoadPersistedStopsAtTheFirstBadDeviceKeepingEarlierOnes) {
    DeviceStore store;
    QJsonArray list = persistedList({"f_1", "f_2", "f_3"});
    QJsonObject bad = list[1].toObject();
    bad.remove("ip");
    list[1] = bad;
    try {
        store.loadPersisted(list);
        FAIL() << "no throw";
    } catch (const QString& message) {
        EXPECT_EQ(message, QStringLiteral("ip not found"));
    }
    EXPECT_EQ(idsOf(store), QStringList{"f_1"});
    EXPECT_FALSE(store.find(QStringLiteral("f_1"), true).isNull());
}

TEST(DeviceStore, JsonIsTheDeviceArrayInStoreOrderAndReadAppends) {
    DeviceStore store;
    store.add(sampleDevice(QStringLiteral("a_1")));
    store.add(sampleDevice(QStringLiteral("b_2")));
    const QJsonValue json = store.toJson();

    DeviceStore copy;
    copy.add(QSharedPointer<Device>::create(QStringLiteral("z_9")));
    EXPECT_TRUE(copy.fromJson(json));
    EXPECT_EQ(idsOf(copy), (QStringList{"z_9", "a_1", "b_2"}));
    EXPECT_EQ(copy.find(QStringLiteral("b_2")).toStrongRef(), copy.items().last());
    EXPECT_TRUE(copy.items().last()->hasChangeEvents());
}
