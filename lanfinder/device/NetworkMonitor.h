#pragma once

#include <optional>

#include <QTimer>

#include "device/INetworkMonitor.h"

class AutoScanner;
class DeviceStore;

// Runs the disconnect detection once a second while the auto scanner is
// active. Lives on the main thread.
class NetworkMonitor : public INetworkMonitor {
    Q_OBJECT
public:
    // Disabled; one DeviceDisconnectedDetector with the 3000 ms threshold.
    NetworkMonitor(DeviceStore* store, AutoScanner* scanner, QObject* parent = nullptr);
    ~NetworkMonitor() override;

    void setEnabled(bool on) override;
    bool isEnabled() const override;

    // A tick later than this after the previous one skips its check.
    static constexpr qint64 stallMs = 2000;

public slots:
    // Does nothing while the auto scanner is inactive, nor on the first tick
    // after the main thread was held up for more than stallMs.
    void onTimeout() override;

private:
    QTimer m_timer;
    AutoScanner* m_scanner;
    DeviceStore* m_store;
    // Clock::monotonicMs of the previous tick.
    std::optional<qint64> m_lastTickMs;
};
