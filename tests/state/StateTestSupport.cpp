#include "StateTestSupport.h"

#include <mutex>

#include <QJsonDocument>

namespace statetest {

QJsonValue FakeProvider::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("devices"),
                  QJsonObject{{QStringLiteral("list"), devices.toJson()}});
    object.insert(QStringLiteral("theme"), theme);
    return object;
}

QVector<QSharedPointer<AppNotification>> FakeProvider::takeNotifications() {
    return notifications.take();
}

CacheRig::CacheRig() : cache(QSharedPointer<StateCache>::create(&provider)) {
    cacheInstance(cache.data());
    QObject::connect(cache.data(), &StateCache::cacheUpdated,
                     [this](const QByteArray& diff) { diffs.append(diff); });
}

CacheRig::~CacheRig() {
    cache.reset();
}

QJsonObject CacheRig::lastDiff() const {
    return diffs.isEmpty() ? QJsonObject() : parseObject(diffs.last());
}

QJsonObject CacheRig::diff(int index) const {
    return parseObject(diffs.value(index));
}

namespace {
std::mutex logMutex;
QStringList capturedLines;
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    std::lock_guard<std::mutex> lock(logMutex);
    capturedLines.append(message);
}
}  // namespace

LogCapture::LogCapture() {
    std::lock_guard<std::mutex> lock(logMutex);
    capturedLines.clear();
    previousHandler = qInstallMessageHandler(captureMessage);
}

LogCapture::~LogCapture() {
    qInstallMessageHandler(previousHandler);
}

const QStringList& LogCapture::lines() const {
    return capturedLines;
}

bool LogCapture::contains(const QString& text) const {
    std::lock_guard<std::mutex> lock(logMutex);
    for (const QString& line : capturedLines) {
        if (line.contains(text)) {
            return true;
        }
    }
    return false;
}

QJsonObject parseObject(const QByteArray& bytes) {
    return QJsonDocument::fromJson(bytes).object();
}

QSharedPointer<Device> sampleDevice(const QString& id) {
    auto device = QSharedPointer<Device>::create();
    device->id.set(id);
    device->name.set(QStringLiteral("Line 4 camera"));
    device->hwVersion.set(QStringLiteral("2.1.0"));
    device->fwVersion.set(QStringLiteral("5.12.3"));
    device->articleNumber.set(QStringLiteral("va2000"));
    device->serialNumber.set(QStringLiteral("000123"));
    device->manufactureDate.set(QStringLiteral("2024-03-01"));
    device->manufacturer.set(QStringLiteral("Vostrel"));
    device->type.set(QStringLiteral("Camera"));
    device->url.set(QStringLiteral("http://10.0.0.7/"));
    device->networkMethod.set(sdk::system::network_method_type::DHCP);
    device->deviceState.set(DeviceAdministrationFbbApi::DeviceState::DeviceState_WARNING);
    device->statusStringDetails.set({QStringLiteral("warm"), QStringLiteral("lens dirty")});
    device->supportsDHCP.set(true);
    device->supportsPersistentIP.set(true);
    device->supportsLocalize.set(true);
    device->mac.set(QStringLiteral("00:11:22:33:44:55"));
    device->ip.set(QStringLiteral("10.0.0.7"));
    device->subnetMask.set(QStringLiteral("255.255.255.0"));
    device->defaultGateway.set(QStringLiteral("10.0.0.1"));
    device->isProcessing.set(true);
    device->isRebooting.set(true);
    device->isMissing.set(true);
    device->isFavorite.set(true);
    device->isAccessible.set(true);
    device->isAuthentication.set(true);
    device->ipOfAssociatedNic.set(QStringLiteral("10.0.0.2"));
    device->lastSeen.set(QDateTime(QDate(2026, 5, 4), QTime(3, 2, 1), Qt::UTC));
    return device;
}

}  // namespace statetest
