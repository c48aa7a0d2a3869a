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
    const auto silentNow = [&](const Device& device) {
        return device.silentForAtLeast(now, m_thresholdMs);
    };
    for (const auto& device : m_store->items()) {
        if (!silentNow(*device)) {
            continue;
        }
        // A receive thread may be taking an answer of this device as seen
        // right now: unsettled first and read again, the answer is either
        // counted or on its way to the event processor.
        device->unsettle();
        if (silentNow(*device)) {
            silent.append(device);
        }
    }
    if (silent.isEmpty()) {
        return {};
    }
    return QSharedPointer<DevicesDisconnected>::create(silent);
}
