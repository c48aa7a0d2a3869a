#include <QJsonObject>

#include <gtest/gtest.h>

#include "StateTestSupport.h"
#include "state/AppNotification.h"

using namespace statetest;

namespace {

QString thrownBy(AppNotification& notification, const QJsonObject& json) {
    try {
        notification.fromJson(json);
    } catch (const QString& message) {
        return message;
    }
    return QString();
}

}  // namespace

TEST(AppNotification, MadeWithTheClockAndWrittenWithBothKeys) {
    FixedClock clock(QDateTime(QDate(2026, 7, 8), QTime(9, 10, 11), Qt::UTC));
    ClockScope scope(&clock);
    const auto notification = makeNotification("Device rebooted");
    EXPECT_EQ(
        notification->toJson().toObject(),
        (QJsonObject{{"message", "Device rebooted"}, {"creationTime", "2026-07-08T09:10:11Z"}}));
    EXPECT_TRUE(AppNotification("x").toJson().toObject().value("creationTime").isNull());
}

TEST(AppNotification, NamesItsDeviceOnlyWhenItHasOne) {
    FixedClock clock(QDateTime(QDate(2026, 7, 8), QTime(9, 10, 11), Qt::UTC));
    ClockScope scope(&clock);
    EXPECT_EQ(makeNotification("Not authorized", "abc_x1")->toJson().toObject(),
              (QJsonObject{{"message", "Not authorized"},
                           {"creationTime", "2026-07-08T09:10:11Z"},
                           {"deviceId", "abc_x1"}}));
    EXPECT_FALSE(makeNotification("Not authorized", "")->toJson().toObject().contains("deviceId"));

    AppNotification read;
    EXPECT_EQ(thrownBy(read, {{"message", "m"},
                              {"creationTime", "2026-07-08T09:10:11Z"},
                              {"deviceId", "abc_x1"}}),
              QString());
    EXPECT_EQ(read.deviceId.get(), QStringLiteral("abc_x1"));
    AppNotification unnamed;
    EXPECT_EQ(thrownBy(unnamed, {{"message", "m"}, {"creationTime", "2026-07-08T09:10:11Z"}}),
              QString());
    EXPECT_TRUE(unnamed.deviceId.get().isEmpty());
    EXPECT_EQ(
        thrownBy(unnamed,
                 {{"message", "m"}, {"creationTime", "2026-07-08T09:10:11Z"}, {"deviceId", 7}}),
        QStringLiteral("deviceId value type mismatch. Expected string"));
}

TEST(AppNotification, ReadsMessageThenARequiredCreationTimeText) {
    AppNotification notification;
    EXPECT_EQ(thrownBy(notification, {{"message", "m"}, {"creationTime", "2026-07-08T09:10:11Z"}}),
              QString());
    EXPECT_EQ(notification.creationTime.get(),
              QDateTime(QDate(2026, 7, 8), QTime(9, 10, 11), Qt::UTC));

    AppNotification other;
    EXPECT_EQ(thrownBy(other, {{"message", "kept"}}), QStringLiteral("creationTime not found"));
    EXPECT_EQ(other.message.get(), QStringLiteral("kept"));
    EXPECT_EQ(thrownBy(other, {{"message", "m"}, {"creationTime", QJsonValue::Null}}),
              QStringLiteral("creationTime value type mismatch. Expected string"));
    EXPECT_EQ(thrownBy(other, {{"creationTime", "2026-07-08T09:10:11Z"}}),
              QStringLiteral("message not found"));
}

TEST(AppNotificationStore, AddKeepsOrderAndLogsTheMessage) {
    AppNotificationStore store;
    LogCapture log;
    store.add(makeNotification("one"));
    store.add(makeNotification("two"));
    store.add(QSharedPointer<AppNotification>());
    ASSERT_EQ(store.items().size(), 2);
    EXPECT_EQ(store.items()[1]->message.get(), QStringLiteral("two"));
    EXPECT_TRUE(log.contains("Notification:  \"one\""));
}

TEST(AppNotificationStore, TakeAndClearEmptyTheStore) {
    AppNotificationStore store;
    store.add(makeNotification("one"));
    store.add(makeNotification("two"));
    const auto taken = store.take();
    ASSERT_EQ(taken.size(), 2);
    EXPECT_EQ(taken[0]->message.get(), QStringLiteral("one"));
    EXPECT_TRUE(store.items().isEmpty());

    store.add(makeNotification("three"));
    store.clear();
    EXPECT_TRUE(store.items().isEmpty());
    EXPECT_TRUE(store.take().isEmpty());
}
