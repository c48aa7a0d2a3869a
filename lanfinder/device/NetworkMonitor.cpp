#include "device/NetworkMonitor.h"

#include "device/AutoScanner.h"
#include "device/DeviceDisconnectedDetector.h"
#include "state/Clock.h"

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
    // A tick that comes long after the last one means the main thread was
    // held up, typically working off thousands of queued answers. Answers
    // still waiting in its queue have not refreshed lastSeen yet, so that
    // check would report live devices as silent; their removal and their
    // return with every property made the backlog grow without end. The
    // next tick, a second later, checks as usual.
    const qint64 now = Clock::instance().monotonicMs();
    const bool stalled = m_lastTickMs && now - *m_lastTickMs > stallMs;
    m_lastTickMs = now;
    if (stalled || !m_scanner || !m_scanner->isActive.get()) {
        return;
    }
    INetworkMonitor::onTimeout();
}
