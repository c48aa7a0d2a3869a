#include "device/INetworkMonitor.h"

void INetworkMonitor::onTimeout() {
    for (const auto& worker : m_workers) {
        if (auto event = worker->check()) {
            emit raiseEvent(event);
        }
    }
}
