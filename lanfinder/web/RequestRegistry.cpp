#include "web/RequestRegistry.h"

#include <QJsonObject>

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
