#pragma once

#include "device/INetworkMonitor.h"

class DeviceStore;

// Reports every device not seen for thresholdMs as one DevicesDisconnected.
// It remembers nothing: a silent device is reported on every check, and the
// event processor makes the reports idempotent.
class DeviceDisconnectedDetector : public INetworkMonitor::IMonitorWorker {
public:
    explicit DeviceDisconnectedDetector(DeviceStore* store, int thresholdMs = 3000);

    // The silent devices in store order, or null when there are none. A
    // device never seen (null lastSeen) is never silent.
    QSharedPointer<Event> check() override;

    int thresholdMs() const { return m_thresholdMs; }

private:
    DeviceStore* m_store;
    int m_thresholdMs;
};
