#include "state/AppNotification.h"

#include <QDebug>
#include <QJsonObject>

#include "state/Clock.h"

AppNotification::AppNotification(const QString& text, const QDateTime& time) {
    message.set(text);
    creationTime.set(time);
}

QJsonValue AppNotification::toJson() const {
    QJsonObject object;
    writeJsonProperty(object, message);
    writeJsonProperty(object, creationTime);
    return object;
}

bool AppNotification::fromJson(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    readJsonProperty(message, object);
    readJsonProperty(creationTime, object);
    return true;
}

QSharedPointer<AppNotification> makeNotification(const QString& message) {
    return QSharedPointer<AppNotification>::create(message, Clock::instance().currentDateTime());
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
