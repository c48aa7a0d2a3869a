#pragma once

#include <ostream>

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QSharedPointer>
#include <QStringList>

#include "state/AppNotification.h"
#include "state/Clock.h"
#include "state/DeviceStore.h"
#include "state/IStateProvider.h"
#include "state/StateCache.h"

namespace statetest {

// A clock that stands still until the test moves it.
class FixedClock : public Clock {
public:
    explicit FixedClock(const QDateTime& now) : m_now(now) {}
    QDateTime currentDateTime() const override { return m_now; }
    void set(const QDateTime& now) { m_now = now; }

private:
    QDateTime m_now;
};

// Installs a clock for the lifetime of the object.
class ClockScope {
public:
    explicit ClockScope(const Clock* clock) { Clock::setInstance(clock); }
    ~ClockScope() { Clock::setInstance(nullptr); }
};

// The backend's two operations the cache uses, over a real device store and
// notification store.
class FakeProvider : public IStateProvider {
public:
    QJsonValue toJson() const override;
    QVector<QSharedPointer<AppNotification>> takeNotifications() override;

    DeviceStore devices;
    AppNotificationStore notifications;
    QString theme = QStringLiteral("light");
};

// A registered cache over a FakeProvider that records every diff it emits.
class CacheRig {
public:
    CacheRig();
    ~CacheRig();

    FakeProvider provider;
    QSharedPointer<StateCache> cache;
    QList<QByteArray> diffs;

    // The last diff parsed as an object; an empty object for empty bytes.
    QJsonObject lastDiff() const;
    QJsonObject diff(int index) const;
};

// Collects the application's debug lines while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    const QStringList& lines() const;
    bool contains(const QString& text) const;
};

QJsonObject parseObject(const QByteArray& bytes);

// A device with every stored key set to something other than its default.
QSharedPointer<Device> sampleDevice(const QString& id);

}  // namespace statetest

// Readable QString parameters and values in test output.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
