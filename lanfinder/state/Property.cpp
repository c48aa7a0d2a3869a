#include "state/Property.h"

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <mutex>

#include <QJsonArray>
#include <QMap>
#include <QSet>
#include <QVariant>

using DeviceAdministrationFbbApi::DeviceState;
using sdk::system::network_method_type;

const Property::Name& Property::Name::of(const std::string& name, Texts texts) {
    // Properties are made on several threads (devices on the main thread,
    // records read elsewhere); the set of names is small and fixed.
    // Never destroyed: a property living in a static object may outlast any
    // other static.
    static auto* lock = new std::mutex;
    static auto* names = new std::map<std::pair<std::string, Texts>, std::unique_ptr<const Name>>;
    std::lock_guard<std::mutex> guard(*lock);
    auto& entry = (*names)[{name, texts}];
    if (!entry) {
        entry.reset(new Name{name, QString::fromLatin1(name.c_str()), texts});
    }
    return *entry;
}

QString sharedText(const QString& text) {
    if (text.isEmpty()) {
        return text;
    }
    // Never destroyed, like the names above.
    static auto* lock = new std::mutex;
    static auto* texts = new QSet<QString>;
    std::lock_guard<std::mutex> guard(*lock);
    const auto it = texts->constFind(text);
    if (it != texts->constEnd()) {
        return *it;
    }
    if (texts->size() >= sharedTextLimit) {
        // The devices keep what they hold; only later equal texts are
        // held apart until the set has filled again.
        texts->clear();
    }
    texts->insert(text);
    return text;
}

namespace {

// The protocol library names every device state "DeviceState_<TEXT>"; the
// browser shows <TEXT>.
const QString& deviceStatePrefix() {
    static const QString prefix = QStringLiteral("DeviceState_");
    return prefix;
}

// Not the library's names ("PERSISTENT_IP", "DHCP", "UNKNOWN"): the browsers
// and the settings file have always spoken these.
const QMap<network_method_type, QString>& networkMethodTexts() {
    static const QMap<network_method_type, QString> texts{
        {network_method_type::PERSISTENT_IP, QStringLiteral("PersistentIP")},
        {network_method_type::DHCP, QStringLiteral("DHCP")},
        {network_method_type::UNKNOWN, QStringLiteral("Unknown")},
    };
    return texts;
}

const QMap<QString, network_method_type>& networkMethodNames() {
    static const QMap<QString, network_method_type> names = [] {
        QMap<QString, network_method_type> map;
        const auto& texts = networkMethodTexts();
        for (auto it = texts.begin(); it != texts.end(); ++it) {
            map.insert(it.value(), it.key());
        }
        return map;
    }();
    return names;
}

QString readString(const Property& property, const QJsonObject& object) {
    const QJsonValue value = requireJsonKey(property, object);
    if (value.isNull()) {
        return QString();
    }
    if (!value.isString()) {
        throwTypeMismatch(property, "string");
    }
    return value.toString();
}

// Null is no string here: a date-time or an enum needs a text.
QString readStrictString(const Property& property, const QJsonObject& object) {
    const QJsonValue value = requireJsonKey(property, object);
    if (!value.isString()) {
        throwTypeMismatch(property, "string");
    }
    return value.toString();
}

}  // namespace

QString deviceStateText(DeviceState state) {
    // The library gives "" for a value without a name.
    return QString::fromStdString(DeviceAdministrationFbbApi::to_string(state))
        .mid(deviceStatePrefix().size());
}

// The prefix is added before the library's exact match, so an already
// prefixed text never matches.
DeviceState deviceStateFromText(const QString& text) {
    return DeviceAdministrationFbbApi::device_state_from_string(
               (deviceStatePrefix() + text).toStdString())
        .value_or(DeviceState::DeviceState_UNKNOWN);
}

QString networkMethodText(network_method_type method) {
    return networkMethodTexts().value(method);
}

network_method_type networkMethodFromText(const QString& text) {
    return networkMethodNames().value(text, network_method_type::UNKNOWN);
}

QJsonValue toJsonValue(const QString& value) {
    return QJsonValue(value);
}

QJsonValue toJsonValue(bool value) {
    return QJsonValue(value);
}

QJsonValue toJsonValue(int value) {
    return QJsonValue(value);
}

QJsonValue toJsonValue(const QDateTime& value) {
    if (value.isNull()) {
        return QJsonValue(QJsonValue::Null);
    }
    return QJsonValue(value.toString(Qt::ISODate));
}

QJsonValue toJsonValue(const QStringList& value) {
    return QJsonArray::fromStringList(value);
}

QJsonValue toJsonValue(DeviceState value) {
    return QJsonValue(deviceStateText(value));
}

QJsonValue toJsonValue(network_method_type value) {
    return QJsonValue(networkMethodText(value));
}

QJsonValue requireJsonKey(const Property& property, const QJsonObject& object) {
    const auto it = object.constFind(property.key());
    if (it == object.constEnd()) {
        throw QString(property.key() + QStringLiteral(" not found"));
    }
    return it.value();
}

void throwTypeMismatch(const Property& property, const char* expected) {
    throw QString(property.key() + QStringLiteral(" value type mismatch. Expected ") +
                  QLatin1String(expected));
}

void readJsonProperty(PropertyValue<QString>& property, QJsonObject object) {
    property.set(readString(property, object));
}

void readJsonProperty(PropertyValue<bool>& property, QJsonObject object) {
    const QJsonValue value = requireJsonKey(property, object);
    if (!value.isBool()) {
        throwTypeMismatch(property, "bool");
    }
    property.set(value.toBool());
}

void readJsonProperty(PropertyValue<int>& property, QJsonObject object) {
    const QJsonValue value = requireJsonKey(property, object);
    if (!value.isDouble()) {
        throwTypeMismatch(property, "int");
    }
    const double number = value.toDouble();
    const bool whole = std::isfinite(number) && std::trunc(number) == number &&
                       number >= std::numeric_limits<int>::min() &&
                       number <= std::numeric_limits<int>::max();
    property.set(whole ? static_cast<int>(number) : 0);
}

void readJsonProperty(PropertyValue<QDateTime>& property, QJsonObject object) {
    property.set(QDateTime::fromString(readStrictString(property, object), Qt::ISODate));
}

void readJsonProperty(PropertyValue<QStringList>& property, QJsonObject object) {
    const QJsonValue value = requireJsonKey(property, object);
    if (!value.isArray()) {
        throwTypeMismatch(property, "array");
    }
    QStringList list;
    for (const QJsonValue& element : value.toArray()) {
        list.append(element.toVariant().toString());
    }
    property.set(list);
}

void readJsonProperty(PropertyValue<DeviceState>& property, QJsonObject object) {
    property.set(deviceStateFromText(readStrictString(property, object)));
}

void readJsonProperty(PropertyValue<network_method_type>& property, QJsonObject object) {
    property.set(networkMethodFromText(readStrictString(property, object)));
}
