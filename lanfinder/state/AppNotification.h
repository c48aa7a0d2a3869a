#pragma once

#include <QDateTime>
#include <QSharedPointer>
#include <QString>
#include <QVector>

#include "state/Property.h"
#include "state/Serializable.h"

// A short message for the user, delivered once inside the next state diff.
struct AppNotification : ISerializable {
    explicit AppNotification(const QString& message = QString(),
                             const QDateTime& creationTime = QDateTime(),
                             const QString& deviceId = QString());

    // {"message": text, "creationTime": null or ISO 8601 text}, and
    // "deviceId" when the notification is about one device.
    QJsonValue toJson() const override;
    // Reads "message" then "creationTime", both required, then "deviceId"
    // when present.
    bool fromJson(const QJsonValue& value) override;

    PropertyValue<QString> message{"message", QString()};
    PropertyValue<QDateTime> creationTime{"creationTime", QDateTime()};
    // The device a request's outcome belongs to; empty for the others.
    // Browsers tell apart the outcomes of several devices by it, which the
    // text alone cannot do (a localize answer names no device at all).
    PropertyValue<QString> deviceId{"deviceId", QString()};
};

// A notification stamped with the application clock.
QSharedPointer<AppNotification> makeNotification(const QString& message,
                                                 const QString& deviceId = QString());

// The notifications not yet delivered, in the order they were added.
class AppNotificationStore : public ISerializableCollection<AppNotification> {
public:
    // Appends and logs "Notification: " followed by the message.
    void add(QSharedPointer<AppNotification> notification);
    void clear();
    // The items, in order, leaving the store empty.
    QVector<QSharedPointer<AppNotification>> take();
};
