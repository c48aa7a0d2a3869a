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
    // On the monotonic clock: setting the system time must neither drop live
    // devices nor keep silent ones.
    const qint64 now = Clock::instance().monotonicMs();
    for (const auto& device : m_store->items()) {
        const std::optional<qint64> silentMs = device->silentForMs(now);
        if (silentMs && *silentMs >= m_thresholdMs) {
            silent.append(device);
        }
    }
    if (silent.isEmpty()) {
        return {};
    }
    return QSharedPointer<DevicesDisconnected>::create(silent);
}
