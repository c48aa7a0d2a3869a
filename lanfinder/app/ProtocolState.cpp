#include "app/ProtocolState.h"

#include <QJsonObject>

QJsonValue ProtocolState::toJson() const {
    QJsonObject object;
    writeJsonProperty(object, available);
    writeJsonProperty(object, details);
    return object;
}

bool ProtocolState::fromJson(const QJsonValue&) {
    return true;
}
