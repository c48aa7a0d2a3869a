#include "device/DeviceDisconnectedDetector.h"

#include "state/Clock.h"
#include "state/DeviceStore.h"

DeviceDisconnectedDetector::DeviceDisconnectedDetector(DeviceStore* store, int thresholdMs)
    : m_store(store), m_thresholdMs(thresholdMs) {}

QSharedPointer<Event> DeviceDisconnectedDetector::check() {
    if (!m_store) {
        return {};
    }
    QVector<QWeakPointer<Device>> silent;
    // "Not seen for thresholdMs" as one cut-off time: comparing two local
    // date-times of the same daylight-saving status is a plain comparison,
    // while msecsTo() converts each lastSeen through mktime(), and glibc
    // checks /etc/localtime on every call (one stat per device per second).
    const QDateTime cutoff =
        Clock::instance().currentDateTime().addMSecs(-static_cast<qint64>(m_thresholdMs));
    for (const auto& device : m_store->items()) {
        const QDateTime& lastSeen = device->lastSeen.get();
        if (!lastSeen.isNull() && lastSeen <= cutoff) {
            silent.append(device);
        }
    }
    if (silent.isEmpty()) {
        return {};
    }
    return QSharedPointer<DevicesDisconnected>::create(silent);
}
