#include "state/AppNotification.h"

#include <QDebug>
#include <QJsonObject>

#include "state/Clock.h"

AppNotification::AppNotification(const QString& text, const QDateTime& time,
                                 const QString& device) {
    message.set(text);
    creationTime.set(time);
    deviceId.set(device);
}

QJsonValue AppNotification::toJson() const {
    QJsonObject object;
    writeJsonProperty(object, message);
    writeJsonProperty(object, creationTime);
    // Left out otherwise, so the documents of the other notifications stay
    // as browsers have always read them.
    if (!deviceId.get().isEmpty()) {
        writeJsonProperty(object, deviceId);
    }
    return object;
}

bool AppNotification::fromJson(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    readJsonProperty(message, object);
    readJsonProperty(creationTime, object);
    if (object.contains(QString::fromStdString(deviceId.name()))) {
        readJsonProperty(deviceId, object);
    }
    return true;
}

QSharedPointer<AppNotification> makeNotification(const QString& message, const QString& deviceId) {
    return QSharedPointer<AppNotification>::create(message, Clock::instance().currentDateTime(),
                                                   deviceId);
}

void AppNotificationStore::add(QSharedPointer<AppNotification> notification) {
    if (!notification) {
        return;
    }
    m_items.append(notification);
    qDebug() << "Notification: " << notification->message.get();
}

void AppNotificationStore::clear() {
    m_items.clear();
}

QVector<QSharedPointer<AppNotification>> AppNotificationStore::take() {
    QVector<QSharedPointer<AppNotification>> taken;
    taken.swap(m_items);
    return taken;
}
