#include "device/NetworkMonitor.h"

#include "device/AutoScanner.h"
#include "device/DeviceDisconnectedDetector.h"

NetworkMonitor::NetworkMonitor(DeviceStore* store, AutoScanner* scanner, QObject* parent)
    : INetworkMonitor(parent), m_scanner(scanner), m_store(store) {
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &NetworkMonitor::onTimeout);
    addWorker(QSharedPointer<DeviceDisconnectedDetector>::create(m_store));
}

NetworkMonitor::~NetworkMonitor() {
    m_timer.stop();
}

void NetworkMonitor::setEnabled(bool on) {
    if (on == isEnabled()) {
        return;
    }
    if (on) {
        m_timer.start();
    } else {
        m_timer.stop();
    }
}

bool NetworkMonitor::isEnabled() const {
    return m_timer.isActive();
}

void NetworkMonitor::onTimeout() {
    if (!m_scanner || !m_scanner->isActive.get()) {
        return;
    }
    INetworkMonitor::onTimeout();
}
