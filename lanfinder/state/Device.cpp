#include "state/Device.h"

#include <algorithm>
#include <limits>

#include <QJsonObject>

#include "state/Clock.h"
#include "state/Event.h"

Device::Device(const QString& deviceId) : Device() {
    id.set(deviceId);
    enableChangeEvents();
}

Device::Device() = default;

template <typename T>
void Device::changed(void* device, const PropertyValue<T>& property) {
    auto* self = static_cast<Device*>(device);
    // An answer taken as seen from now on might have had work to do.
    self->unsettle();
    ++self->m_changes;
    DeviceChanged event(self->id.get(), property.key(), propertyJson(property));
    self->notifyCache(&event);
}

template <typename T>
void Device::listenTo(PropertyValue<T>& property) {
    property.addListener(&Device::changed<T>, this);
}

void Device::enableChangeEvents() {
    if (m_changeEvents) {
        return;
    }
    m_changeEvents = true;
    // lastSeen changes with every answer; the browser does not follow it.
    listenTo(id);
    listenTo(name);
    listenTo(hwVersion);
    listenTo(fwVersion);
    listenTo(articleNumber);
    listenTo(serialNumber);
    listenTo(manufactureDate);
    listenTo(manufacturer);
    listenTo(type);
    listenTo(url);
    listenTo(networkMethod);
    listenTo(deviceState);
    listenTo(statusStringDetails);
    listenTo(supportsDHCP);
    listenTo(supportsPersistentIP);
    listenTo(supportsLocalize);
    listenTo(mac);
    listenTo(ip);
    listenTo(subnetMask);
    listenTo(defaultGateway);
    listenTo(shouldProcess);
    listenTo(isProcessing);
    listenTo(isRebooting);
    listenTo(isMissing);
    listenTo(isFavorite);
    listenTo(isAccessible);
    listenTo(isAuthentication);
    listenTo(ipOfAssociatedNic);
    listenTo(processingStartedTime);
}

QJsonValue Device::toJson() const {
    refreshSeen();
    QJsonObject object;
    writeJsonProperty(object, id);
    writeJsonProperty(object, name);
    writeJsonProperty(object, hwVersion);
    writeJsonProperty(object, fwVersion);
    writeJsonProperty(object, articleNumber);
    writeJsonProperty(object, serialNumber);
    writeJsonProperty(object, manufactureDate);
    writeJsonProperty(object, manufacturer);
    writeJsonProperty(object, type);
    writeJsonProperty(object, url);
    writeJsonProperty(object, networkMethod);
    writeJsonProperty(object, deviceState);
    writeJsonProperty(object, statusStringDetails);
    writeJsonProperty(object, supportsDHCP);
    writeJsonProperty(object, supportsPersistentIP);
    writeJsonProperty(object, supportsLocalize);
    writeJsonProperty(object, mac);
    writeJsonProperty(object, ip);
    writeJsonProperty(object, subnetMask);
    writeJsonProperty(object, defaultGateway);
    writeJsonProperty(object, isProcessing);
    writeJsonProperty(object, isRebooting);
    writeJsonProperty(object, isMissing);
    writeJsonProperty(object, isFavorite);
    writeJsonProperty(object, isAccessible);
    writeJsonProperty(object, isAuthentication);
    writeJsonProperty(object, ipOfAssociatedNic);
    writeJsonProperty(object, lastSeen);
    return object;
}

void Device::appendIndentedJson(QByteArray& out, int level) const {
    refreshSeen();
    m_text.appendTo(out, *this, m_changes, m_changeEvents, level);
}

bool Device::fromJson(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    readJsonProperty(id, object);
    readJsonProperty(name, object);
    readJsonProperty(hwVersion, object);
    readJsonProperty(fwVersion, object);
    readJsonProperty(articleNumber, object);
    readJsonProperty(serialNumber, object);
    readJsonProperty(manufactureDate, object);
    readJsonProperty(manufacturer, object);
    readJsonProperty(type, object);
    readJsonProperty(url, object);
    readJsonProperty(networkMethod, object);
    readJsonProperty(deviceState, object);
    readJsonProperty(statusStringDetails, object);
    readJsonProperty(mac, object);
    readJsonProperty(ip, object);
    readJsonProperty(subnetMask, object);
    readJsonProperty(defaultGateway, object);
    readJsonProperty(isMissing, object);
    readJsonProperty(isFavorite, object);
    readJsonProperty(ipOfAssociatedNic, object);
    // toJson() writes a never-seen device's lastSeen as null; the strict
    // date-time reader would reject that, and one such favourite would make
    // the whole settings file fail and every favourite be lost.
    if (object.value(lastSeen.key()).isNull()) {
        lastSeen.set(QDateTime());
    } else {
        readJsonProperty(lastSeen, object);
    }
    // The document's lastSeen stands, not an answer's before it.
    m_seenAtMs.reset();
    readJsonProperty(supportsDHCP, object);
    readJsonProperty(supportsPersistentIP, object);
    readJsonProperty(supportsLocalize, object);
    readJsonProperty(isProcessing, object);
    readJsonProperty(isRebooting, object);
    readJsonProperty(isAccessible, object);
    readJsonProperty(isAuthentication, object);
    return true;
}

void Device::markSeen(const QDateTime& now, qint64 monotonicMs) {
    lastSeen.set(now);
    m_seenAtMs = monotonicMs;
}

Device::~Device() {
    unsettle();
}

void Device::settle(const std::shared_ptr<SeenBoard>& board, quint64 key, const QString& cardIp) {
    if (!board || key == 0) {
        return;
    }
    if (m_settledKey != key || m_board.lock() != board) {
        unsettle();
    }
    board->settle(key, cardIp);
    m_board = board;
    m_settledKey = key;
}

void Device::unsettle() {
    if (m_settledKey == 0) {
        return;
    }
    if (const auto board = m_board.lock()) {
        m_takenMs = std::max(m_takenMs, board->release(m_settledKey));
    }
    m_settledKey = 0;
    m_board.reset();
}

qint64 Device::takenMs() const {
    if (m_settledKey != 0) {
        if (const auto board = m_board.lock()) {
            m_takenMs = std::max(m_takenMs, board->takenMs(m_settledKey));
        }
    }
    return m_takenMs;
}

bool Device::silentForAtLeast(qint64 nowMs, qint64 thresholdMs) const {
    const qint64 known = std::max(m_seenAtMs.value_or(SeenBoard::never), m_takenMs);
    if (known != SeenBoard::never && nowMs - known < thresholdMs) {
        return false;
    }
    const std::optional<qint64> silentMs = silentForMs(nowMs);
    return silentMs && *silentMs >= thresholdMs;
}

std::optional<qint64> Device::silentForMs(qint64 nowMs) const {
    // An answer this run has given lastSeen a value; only otherwise is the
    // date itself looked at (the check runs over every device every second).
    if (!m_seenAtMs && lastSeen.get().isNull()) {
        return std::nullopt;
    }
    const qint64 stamped = takenMs();
    if (!m_seenAtMs && stamped == SeenBoard::never) {
        return std::numeric_limits<qint64>::max();
    }
    return nowMs - std::max(m_seenAtMs.value_or(SeenBoard::never), stamped);
}

void Device::refreshSeen() const {
    const qint64 stamped = takenMs();
    if (stamped == SeenBoard::never || (m_seenAtMs && stamped <= *m_seenAtMs)) {
        return;
    }
    // The answer's age on the monotonic clock, before the local time now: a
    // change of the system time since then does not move it.
    const Clock& clock = Clock::instance();
    lastSeen.set(clock.currentDateTime().addMSecs(stamped - clock.monotonicMs()));
    m_seenAtMs = stamped;
}
