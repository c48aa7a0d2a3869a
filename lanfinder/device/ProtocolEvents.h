#pragma once

#include <QMetaType>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

#include <beacon/system_types.h>

#include "state/Event.h"

// A device's answer, converted from the protocol library's record on the
// protocol engine's worker thread and handed to the main thread.
class IProtocolEvent : public Event {
public:
    // The request id of the message.
    QString requestId;
    // The address of the local card the message arrived on.
    QString ipOfAssociatedNic;
};

// The id of the device with this article and serial number.
QString deviceIdOf(const QString& articleNumber, const QString& serialNumber);

// A device's self-description. The defaults mark a record that was never
// filled; the conversion overwrites every field.
class DiscoveryResponse : public IProtocolEvent {
public:
    void accept(IEventHandler& handler) const override;

    QString mac = QStringLiteral("00:00:00:00:00:00");
    QString ip = QStringLiteral("0.1.2.3");
    QString subnetMask = QStringLiteral("0.1.2.3");
    QString defaultGateway = QStringLiteral("0.0.0.0");
    DeviceAdministrationFbbApi::DeviceState deviceState =
        DeviceAdministrationFbbApi::DeviceState::DeviceState_UNKNOWN;
    QStringList infoMessages;
    QString type = QStringLiteral("Unknown");
    QString url = QStringLiteral("Unknown");
    QString hwVersion = QStringLiteral("0.0.0");
    sdk::system::network_method_type networkMethod = sdk::system::network_method_type::UNKNOWN;
    QString name = QStringLiteral("DummyDevice");
    QString articleNumber = QStringLiteral("DummyArticleNo");
    QString serialNumber = QStringLiteral("DummySerialNo");
    QString manufactureDate = QStringLiteral("DummyDate");
    QString fwVersion = QStringLiteral("0.0.0");
    QString manufacturer = QStringLiteral("?");
    bool supportsDHCP = false;
    bool supportsPersistentIP = false;
    bool supportsLocalize = false;
    bool isAuthentication = false;
    // The library's repeat key of the answer's text: equal non-zero keys,
    // equal values above (0 when it did not compare the text).
    quint64 repeatKey = 0;
    // deviceIdOf(articleNumber, serialNumber) when already known, else empty.
    QString deviceId;
};

// A device's answer to a configuration request.
class ConfigurationResponse : public IProtocolEvent {
public:
    void accept(IEventHandler& handler) const override;

    QString articleNumber;
    QString serialNumber;
    // An sdk::system::operation_result value.
    int result = -1;
};

// A device's answer to a localize request; it names no device.
class LocalizeResponse : public IProtocolEvent {
public:
    void accept(IEventHandler& handler) const override;

    // An sdk::system::operation_result value.
    int result = -1;
};

Q_DECLARE_METATYPE(QSharedPointer<IProtocolEvent>)
