#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVector>

#include "state/Property.h"
#include "state/Serializable.h"

// One wired Ethernet card of this computer, as the browser shows it and as
// the protocol binds to it.
struct NIC : ISerializable {
    // One IPv4 address of the card, both texts in dotted form.
    struct Address {
        Address(const QString& ip = QString(), const QString& subnetMask = QString());

        bool operator==(const Address& other) const;
        bool operator!=(const Address& other) const { return !(*this == other); }

        PropertyValue<QString> ip;
        PropertyValue<QString> subnetMask;
    };

    NIC();

    // {"mac", "name", "addresses": [{"ip", "subnetMask"}...], "gateways": [...]}
    QJsonValue toJson() const override;
    // "mac" and "name" are required; a missing "addresses" or "gateways"
    // array counts as empty. Addresses and gateways are appended.
    bool fromJson(const QJsonValue& value) override;

    // Texts compared exactly, the lists entry by entry, and the index.
    bool operator==(const NIC& other) const;
    bool operator!=(const NIC& other) const { return !(*this == other); }

    // Six upper-case hex pairs joined by ":".
    PropertyValue<QString> mac;
    PropertyValue<QString> name;
    PropertyValue<QVector<Address>> addresses;
    // Exactly one entry once queried: the card's gateway, "0.0.0.0" for none.
    PropertyValue<QVector<QString>> gateways;
    // The system's interface index; not shown to the browser. A card
    // unplugged and plugged in again within one look at the card list
    // differs from the old one only here, and the sockets bound to the old
    // interface hear nothing any more: the protocol must be rebuilt.
    int interfaceIndex = 0;
};

QJsonValue toJsonValue(const QVector<NIC::Address>& addresses);
QJsonValue toJsonValue(const QVector<QString>& texts);

// Both replace the property's value with the array at its key; a missing key
// or a value that is not an array reads as an empty list. Address entries
// need "ip" and "subnetMask" (" not found" otherwise); gateway entries are
// taken as text.
void readJsonProperty(PropertyValue<QVector<NIC::Address>>& property, QJsonObject object);
void readJsonProperty(PropertyValue<QVector<QString>>& property, QJsonObject object);
