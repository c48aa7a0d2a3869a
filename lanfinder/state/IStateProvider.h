#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    // The full state document as the browsers receive it: toJson() as
    // indented JSON. A provider that can write it faster overrides it.
    virtual QByteArray fullStateText() const {
        return QJsonDocument(toJson().toObject()).toJson(QJsonDocument::Indented);
    }
    // The pending notifications, in the order they were added; empties them.
    virtual QVector<QSharedPointer<AppNotification>> takeNotifications() = 0;
};
