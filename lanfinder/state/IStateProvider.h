#pragma once

#include <QJsonValue>
#include <QSharedPointer>
#include <QVector>

struct AppNotification;

// What the state cache needs of the state's owner (the backend).
class IStateProvider {
public:
    virtual ~IStateProvider() = default;
    // The full state document as a JSON object.
    virtual QJsonValue toJson() const = 0;
    // The pending notifications, in the order they were added; empties them.
    virtual QVector<QSharedPointer<AppNotification>> takeNotifications() = 0;
};
