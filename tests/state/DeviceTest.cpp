#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "StateTestSupport.h"
#include "state/Device.h"
#include "state/Event.h"

using namespace statetest;

namespace {

const QStringList storedKeys{"id",
                             "name",
                             "hwVersion",
                             "fwVersion",
                             "articleNumber",
                             "serialNumber",
                             "manufactureDate",
                             "manufacturer",
                             "type",
                             "url",
                             "networkMethod",
                             "deviceState",
                             "statusStringDetails",
                             "mac",
                             "ip",
                             "subnetMask",
                             "defaultGateway",
                             "isMissing",
                             "isFavorite",
                             "ipOfAssociatedNic",
                             "lastSeen",
                             "supportsDHCP",
                             "supportsPersistentIP",
                             "supportsLocalize",
                             "isProcessing",
                             "isRebooting",
                             "isAccessible",
                             "isAuthentication"};

// The DeviceChanged entries of every diff, as (id, key, value) objects.
QJsonArray updates(const CacheRig& rig) {
    QJsonArray all;
    for (int i = 0; i < rig.diffs.size(); ++i) {
        for (const QJsonValue& entry :
             rig.diff(i).value("devices").toObject().value("updated").toArray()) {
            all.append(entry);
        }
    }
    return all;
}

}  // namespace

TEST(Device, FreshDeviceWritesExactlyTheTwentyEightStoredKeys) {
    Device device(QStringLiteral("va2000_000123"));
    const QJsonObject json = device.toJson().toObject();

    QStringList keys = json.keys();
    QStringList expected = storedKeys;
    keys.sort();
    expected.sort();
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(json.value("id"), QJsonValue("va2000_000123"));
    EXPECT_EQ(json.value("networkMethod"), QJsonValue("Unknown"));
    EXPECT_EQ(json.value("deviceState"), QJsonValue("UNKNOWN"));
    EXPECT_EQ(json.value("statusStringDetails"), QJsonValue(QJsonArray()));
    EXPECT_TRUE(json.value("lastSeen").isNull());
    EXPECT_FALSE(json.contains("shouldProcess"));
    EXPECT_FALSE(json.contains("processingStartedTime"));
}

TEST(Device, JsonRoundTripReproducesEveryKey) {
    const auto original = sampleDevice(QStringLiteral("va2000_000123"));
    const QJsonObject json = original->toJson().toObject();

    Device copy;
    EXPECT_TRUE(copy.fromJson(json));
    EXPECT_EQ(copy.toJson().toObject(), json);
    EXPECT_EQ(copy.lastSeen.get(), original->lastSeen.get());
    EXPECT_EQ(copy.deviceState.get(), DeviceAdministrationFbbApi::DeviceState::DeviceState_WARNING);
}

TEST(Device, NeverSeenDeviceReadsBackItsNullLastSeen) {
    Device fresh(QStringLiteral("a_1"));
    Device copy;
    copy.lastSeen.set(QDateTime::currentDateTime());
    EXPECT_TRUE(copy.fromJson(fresh.toJson()));
    EXPECT_TRUE(copy.lastSeen.get().isNull());
    EXPECT_EQ(copy.toJson(), fresh.toJson());
}

class DeviceMissingKey : public ::testing::TestWithParam<QString> {};

TEST_P(DeviceMissingKey, ThrowsTheKeyNotFound) {
    QJsonObject json = sampleDevice(QStringLiteral("a_1"))->toJson().toObject();
    json.remove(GetParam());
    Device device;
    try {
        device.fromJson(json);
        FAIL() << "no throw";
    } catch (const QString& message) {
        EXPECT_EQ(message, GetParam() + " not found");
    }
}

INSTANTIATE_TEST_SUITE_P(AllStoredKeys, DeviceMissingKey,
                         ::testing::ValuesIn(storedKeys.begin(), storedKeys.end()),
                         [](const auto& info) { return info.param.toStdString(); });

TEST(Device, FailedReadKeepsThePropertiesReadBeforeIt) {
    QJsonObject json = sampleDevice(QStringLiteral("a_1"))->toJson().toObject();
    // serialNumber is the sixth key read; the five before it keep their values.
    json.insert("serialNumber", 5);
    Device device;
    EXPECT_THROW(device.fromJson(json), QString);
    EXPECT_EQ(device.id.get(), QStringLiteral("a_1"));
    EXPECT_EQ(device.name.get(), QStringLiteral("Line 4 camera"));
    EXPECT_EQ(device.articleNumber.get(), QStringLiteral("va2000"));
    EXPECT_EQ(device.serialNumber.get(), QString());
    EXPECT_EQ(device.mac.get(), QString());
}

TEST(Device, WrongTypeThrowsTheMismatchText) {
    QJsonObject json = sampleDevice(QStringLiteral("a_1"))->toJson().toObject();
    json.insert("isFavorite", 1);
    Device device;
    try {
        device.fromJson(json);
        FAIL() << "no throw";
    } catch (const QString& message) {
        EXPECT_EQ(message, QStringLiteral("isFavorite value type mismatch. Expected bool"));
    }
}

TEST(DeviceEvents, EveryListenedPropertyRaisesOneChangeWithTheDeviceId) {
    CacheRig rig;
    Device device(QStringLiteral("a_1"));
    device.name.set(QStringLiteral("cam"));
    device.isFavorite.set(true);
    device.isFavorite.set(true);
    device.networkMethod.set(sdk::system::network_method_type::PERSISTENT_IP);

    const QJsonArray all = updates(rig);
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[0].toObject(), (QJsonObject{{"id", "a_1"}, {"name", "cam"}}));
    EXPECT_EQ(all[1].toObject(), (QJsonObject{{"id", "a_1"}, {"isFavorite", true}}));
    EXPECT_EQ(all[2].toObject(), (QJsonObject{{"id", "a_1"}, {"networkMethod", "PersistentIP"}}));
}

TEST(DeviceEvents, LastSeenRaisesNothing) {
    CacheRig rig;
    Device device(QStringLiteral("a_1"));
    device.lastSeen.set(QDateTime::currentDateTime());
    EXPECT_TRUE(rig.diffs.isEmpty());
}

TEST(DeviceEvents, ProcessingStartedTimeRaisesIsoTextThenNull) {
    CacheRig rig;
    Device device(QStringLiteral("a_1"));
    device.processingStartedTime.set(QDateTime(QDate(2026, 2, 3), QTime(4, 5, 6), Qt::UTC));
    device.processingStartedTime.set(QDateTime());

    const QJsonArray all = updates(rig);
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[0].toObject().value("processingStartedTime"), QJsonValue("2026-02-03T04:05:06Z"));
    ASSERT_TRUE(all[1].toObject().contains("processingStartedTime"));
    EXPECT_TRUE(all[1].toObject().value("processingStartedTime").isNull());
}

TEST(DeviceEvents, DeviceReadFromJsonIsSilentUntilEnabled) {
    CacheRig rig;
    Device device;
    device.fromJson(sampleDevice(QStringLiteral("a_1"))->toJson());
    device.name.set(QStringLiteral("quiet"));
    EXPECT_TRUE(rig.diffs.isEmpty());

    device.enableChangeEvents();
    device.enableChangeEvents();
    device.name.set(QStringLiteral("loud"));
    const QJsonArray all = updates(rig);
    ASSERT_EQ(all.size(), 1);
    EXPECT_EQ(all[0].toObject(), (QJsonObject{{"id", "a_1"}, {"name", "loud"}}));
}

TEST(DeviceEvents, NoCacheRegisteredDropsTheChange) {
    Device device(QStringLiteral("a_1"));
    device.name.set(QStringLiteral("nobody listens"));
    EXPECT_EQ(device.name.get(), QStringLiteral("nobody listens"));
    EXPECT_EQ(cacheInstance(), nullptr);
}
