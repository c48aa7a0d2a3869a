#include "device/AutoScanner.h"

#include <QJsonObject>

#include "device/IProtocolEngine.h"
#include "state/Clock.h"
#include "state/Event.h"

AutoScanner::AutoScanner(IProtocolEngine* engine, QObject* parent)
    : QObject(parent), m_engine(engine) {
    m_timer.setInterval(scanIntervalMs.get());
    scanIntervalMs.addListener(
        [this](const PropertyValue<int>& p) { onScanIntervalChanged(p.get()); });
    isActive.addListener([this](const PropertyValue<bool>& p) { onActiveChanged(p.get()); });
    lastScanTime.addListener(
        [this](const PropertyValue<QDateTime>& p) { onLastScanTimeChanged(p.get()); });
}

AutoScanner::~AutoScanner() = default;

QJsonValue AutoScanner::toJson() const {
    QJsonObject object;
    writeJsonProperty(object, isActive);
    writeJsonProperty(object, lastScanTime);
    writeJsonProperty(object, scanIntervalMs);
    return object;
}

bool AutoScanner::fromJson(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    readJsonProperty(isActive, object);
    readJsonProperty(lastScanTime, object);
    readJsonProperty(scanIntervalMs, object);
    return true;
}

void AutoScanner::onTimerEvent() {
    if (!m_engine || m_engine->state() != IProtocolEngine::Running) {
        return;
    }
    m_engine->sendScan();
    lastScanTime.set(Clock::instance().currentDateTime());
}

void AutoScanner::onScanIntervalChanged(int ms) {
    m_timer.setInterval(ms);
    report(scanIntervalMs.key(), toJsonValue(ms));
}

void AutoScanner::onActiveChanged(bool active) {
    if (active) {
        if (!m_tick) {
            m_tick = connect(&m_timer, &QTimer::timeout, this, &AutoScanner::onTimerEvent);
        }
        m_timer.start();
    } else {
        m_timer.stop();
        disconnect(m_tick);
        m_tick = {};
    }
    report(isActive.key(), toJsonValue(active));
}

void AutoScanner::onLastScanTimeChanged(QDateTime time) {
    report(lastScanTime.key(), toJsonValue(time));
}

void AutoScanner::report(const QString& key, const QJsonValue& value) {
    AutoScannerChanged event(key, value);
    notifyCache(&event);
}
