#pragma once

#include <QJsonValue>
#include <QString>

#include "state/Property.h"
#include "state/Serializable.h"

// Whether the discovery protocol can run, and why not when it cannot.
class ProtocolState : public ISerializable {
public:
    ProtocolState() = default;

    // {"available": bool, "details": string}
    QJsonValue toJson() const override;
    // Reads nothing.
    bool fromJson(const QJsonValue& value) override;

    PropertyValue<bool> available{"available", true};
    PropertyValue<QString> details{"details", QString()};
};
