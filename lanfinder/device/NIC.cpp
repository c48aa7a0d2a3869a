#include "device/NIC.h"

#include <QJsonArray>

namespace {

QVector<NIC::Address> readAddresses(const QJsonValue& value) {
    QVector<NIC::Address> result;
    for (const QJsonValue& element : value.toArray()) {
        NIC::Address address;
        const QJsonObject object = element.toObject();
        readJsonProperty(address.ip, object);
        readJsonProperty(address.subnetMask, object);
        result.append(address);
    }
    return result;
}

QVector<QString> readTexts(const QJsonValue& value) {
    QVector<QString> result;
    for (const QJsonValue& element : value.toArray()) {
        result.append(element.toVariant().toString());
    }
    return result;
}

}  // namespace

NIC::Address::Address(const QString& ip, const QString& subnetMask)
    : ip("ip", ip), subnetMask("subnetMask", subnetMask) {}

bool NIC::Address::operator==(const Address& other) const {
    return ip.get() == other.ip.get() && subnetMask.get() == other.subnetMask.get();
}

NIC::NIC()
    : mac("mac", QString()),
      name("name", QString()),
      addresses("addresses", {}),
      gateways("gateways", {}) {}

QJsonValue NIC::toJson() const {
    QJsonObject object;
    writeJsonProperty(object, mac);
    writeJsonProperty(object, name);
    writeJsonProperty(object, addresses);
    writeJsonProperty(object, gateways);
    return object;
}

bool NIC::fromJson(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    readJsonProperty(mac, object);
    readJsonProperty(name, object);
    addresses.set(addresses.get() + readAddresses(object.value(addresses.key())));
    gateways.set(gateways.get() + readTexts(object.value(gateways.key())));
    return true;
}

bool NIC::operator==(const NIC& other) const {
    return mac.get() == other.mac.get() && name.get() == other.name.get() &&
           addresses.get() == other.addresses.get() && gateways.get() == other.gateways.get() &&
           interfaceIndex == other.interfaceIndex;
}

QJsonValue toJsonValue(const QVector<NIC::Address>& addresses) {
    QJsonArray array;
    for (const auto& address : addresses) {
        QJsonObject object;
        writeJsonProperty(object, address.ip);
        writeJsonProperty(object, address.subnetMask);
        array.append(object);
    }
    return array;
}

QJsonValue toJsonValue(const QVector<QString>& texts) {
    QJsonArray array;
    for (const auto& text : texts) {
        array.append(text);
    }
    return array;
}

void readJsonProperty(PropertyValue<QVector<NIC::Address>>& property, QJsonObject object) {
    property.set(readAddresses(object.value(property.key())));
}

void readJsonProperty(PropertyValue<QVector<QString>>& property, QJsonObject object) {
    property.set(readTexts(object.value(property.key())));
}
