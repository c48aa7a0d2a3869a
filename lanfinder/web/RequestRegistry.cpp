#include "web/RequestRegistry.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include "state/Property.h"

namespace {

QString readString(const QJsonObject& object, const char* key) {
    PropertyValue<QString> property(key, QString());
    readJsonProperty(property, object);
    return property.get();
}

bool readBool(const QJsonObject& object, const char* key) {
    PropertyValue<bool> property(key, false);
    readJsonProperty(property, object);
    return property.get();
}

sdk::system::network_method_type readNetworkMethod(const QJsonObject& object, const char* key) {
    PropertyValue<sdk::system::network_method_type> property(
        key, sdk::system::network_method_type::UNKNOWN);
    readJsonProperty(property, object);
    return property.get();
}

// The keys are read in the order the browser protocol fixes, so that the
// first missing or mistyped one is the one reported.
std::unique_ptr<WebGUIEvent> makeChangeDevice(const QJsonDocument& document) {
    const QJsonObject object = document.object();
    auto request = std::make_unique<SetConfigurationRequest>();
    request->deviceId = readString(object, "deviceId");
    request->reqId = readString(object, "reqId");
    request->reqType = readString(object, "reqType");
    request->name = readString(object, "name");
    request->ip = readString(object, "ip");
    request->subnetMask = readString(object, "subnetMask");
    request->networkMethod = readNetworkMethod(object, "networkMethod");
    request->defaultGateway = readString(object, "defaultGateway");
    request->username = readString(object, "username");
    request->password = readString(object, "password");
    return request;
}

// The keys of one ChangeDevice, in its order, without the request's own.
SetConfigurationRequest readChange(const QJsonObject& object) {
    SetConfigurationRequest change;
    change.deviceId = readString(object, "deviceId");
    change.name = readString(object, "name");
    change.ip = readString(object, "ip");
    change.subnetMask = readString(object, "subnetMask");
    change.networkMethod = readNetworkMethod(object, "networkMethod");
    change.defaultGateway = readString(object, "defaultGateway");
    return change;
}

std::unique_ptr<WebGUIEvent> makeChangeDevices(const QJsonDocument& document) {
    const QJsonObject object = document.object();
    auto request = std::make_unique<ChangeDevicesRequest>();
    request->reqId = readString(object, "reqId");
    request->reqType = readString(object, "reqType");
    request->username = readString(object, "username");
    request->password = readString(object, "password");
    const QJsonValue devices = object.value(QStringLiteral("devices"));
    if (devices.isUndefined()) {
        throw QStringLiteral("devices not found");
    }
    if (!devices.isArray()) {
        throw QStringLiteral("devices value type mismatch. Expected array");
    }
    if (devices.toArray().isEmpty()) {
        throw QStringLiteral("devices is empty");
    }
    // The report knows its items by device: one device twice in one job
    // would have two outcomes under one name.
    QSet<QString> seen;
    for (const QJsonValue& device : devices.toArray()) {
        if (!device.isObject()) {
            throw QStringLiteral("devices value type mismatch. Expected object");
        }
        SetConfigurationRequest change = readChange(device.toObject());
        if (seen.contains(change.deviceId)) {
            throw QStringLiteral("deviceId ") + change.deviceId + QStringLiteral(" listed twice");
        }
        seen.insert(change.deviceId);
        change.reqType = QStringLiteral("ChangeDevice");
        change.reqId = request->reqId;
        request->devices.append(change);
    }
    return request;
}

std::unique_ptr<WebGUIEvent> makeCancelBatch(const QJsonDocument& document) {
    const QJsonObject object = document.object();
    auto request = std::make_unique<CancelBatchRequest>();
    request->reqId = readString(object, "reqId");
    request->reqType = readString(object, "reqType");
    return request;
}

std::unique_ptr<WebGUIEvent> makeSetFavorite(const QJsonDocument& document) {
    const QJsonObject object = document.object();
    auto request = std::make_unique<SetFavoriteRequest>();
    request->deviceId = readString(object, "deviceId");
    request->reqId = readString(object, "reqId");
    request->reqType = readString(object, "reqType");
    request->isFavorite = readBool(object, "isFavorite");
    return request;
}

std::unique_ptr<WebGUIEvent> makeSetLanguage(const QJsonDocument& document) {
    const QJsonObject object = document.object();
    auto request = std::make_unique<SetLanguageRequest>();
    request->reqId = readString(object, "reqId");
    request->reqType = readString(object, "reqType");
    request->language = readString(object, "language");
    return request;
}

std::unique_ptr<WebGUIEvent> makeSetTheme(const QJsonDocument& document) {
    const QJsonObject object = document.object();
    auto request = std::make_unique<SetThemeRequest>();
    request->reqId = readString(object, "reqId");
    request->reqType = readString(object, "reqType");
    request->theme = readString(object, "theme");
    return request;
}

std::unique_ptr<WebGUIEvent> makeLocalize(const QJsonDocument& document) {
    const QJsonObject object = document.object();
    auto request = std::make_unique<LocalizeRequest>();
    request->deviceId = readString(object, "deviceId");
    request->reqId = readString(object, "reqId");
    request->reqType = readString(object, "reqType");
    request->username = readString(object, "username");
    request->password = readString(object, "password");
    return request;
}

}  // namespace

const std::map<QString, RequestFactory>& requestRegistry() {
    static const std::map<QString, RequestFactory> registry = {
        {QStringLiteral("ChangeDevice"), makeChangeDevice},
        {QStringLiteral("SetFavorite"), makeSetFavorite},
        {QStringLiteral("SetLanguage"), makeSetLanguage},
        {QStringLiteral("SetTheme"), makeSetTheme},
        {QStringLiteral("Localize"), makeLocalize},
        {QStringLiteral("ChangeDevices"), makeChangeDevices},
        {QStringLiteral("CancelBatch"), makeCancelBatch},
    };
    return registry;
}

std::unique_ptr<WebGUIEvent> parseRequest(const QByteArray& message, QStringList& errors,
                                          QString& reqType, QString& reqId) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(message, &parseError);
    if (document.isNull()) {
        errors.append(QStringLiteral("Invalid Json doc: ") + QString::fromUtf8(message));
        return nullptr;
    }
    try {
        const QJsonObject object = document.object();
        const QString id = readString(object, "reqId");
        const QString type = readString(object, "reqType");
        reqType = type;
        reqId = id;
        const auto& registry = requestRegistry();
        const auto factory = registry.find(type);
        if (factory == registry.end()) {
            errors.append(QStringLiteral("Unknown request type: ") + type);
            return nullptr;
        }
        return factory->second(document);
    } catch (const QString& failure) {
        errors.append(failure);
        return nullptr;
    }
}
