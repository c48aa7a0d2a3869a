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
    for (const auto& device : m_store->items()) {
        const QDateTime& lastSeen = device->lastSeen.get();
        const qint64 age =
            lastSeen.isNull() ? 0 : lastSeen.msecsTo(Clock::instance().currentDateTime());
        if (age >= m_thresholdMs) {
            silent.append(device);
        }
    }
    if (silent.isEmpty()) {
        return {};
    }
    return QSharedPointer<DevicesDisconnected>::create(silent);
}
