#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include "state/ICacheNotifier.h"
#include "state/Property.h"
#include "state/Serializable.h"

class IProtocolEngine;

// Asks the protocol engine for a scan every scanIntervalMs while active and
// the engine is running, and publishes its settings to the browsers
// (state key "autoScanner"). Lives on the main thread.
class AutoScanner : public QObject, public ISerializable, public ICacheNotifier {
    Q_OBJECT
public:
    // Inactive, interval 1000 ms, no scan yet; the timer is not started.
    explicit AutoScanner(IProtocolEngine* engine, QObject* parent = nullptr);
    ~AutoScanner() override;

    // {"isActive", "lastScanTime" (ISO 8601 or null), "scanIntervalMs"}
    QJsonValue toJson() const override;
    // Reads "isActive", "lastScanTime", "scanIntervalMs" in that order, each
    // through set(); the first missing or mistyped key throws its QString.
    bool fromJson(const QJsonValue& value) override;

    PropertyValue<int> scanIntervalMs{"scanIntervalMs", 1000};
    PropertyValue<bool> isActive{"isActive", false};
    // When the last scan request was handed to the engine; null before.
    PropertyValue<QDateTime> lastScanTime{"lastScanTime", QDateTime()};

    // Whether the scan timer runs.
    bool isTimerRunning() const { return m_timer.isActive(); }
    int timerInterval() const { return m_timer.interval(); }

public slots:
    void onTimerEvent();
    void onScanIntervalChanged(int ms);
    void onActiveChanged(bool active);
    void onLastScanTimeChanged(QDateTime time);

private:
    void report(const QString& key, const QJsonValue& value);

    QTimer m_timer;
    IProtocolEngine* m_engine;
    QMetaObject::Connection m_tick;
};
