#pragma once

#include <QDateTime>

#include <mutex>

#include "state/Clock.h"

namespace fakes {

// A clock that stands still until the test moves it. Installed as the
// application clock for its own lifetime. Safe to read from any thread.
// advanceMs() lets time pass on both clocks; set() and jumpWallClockMs()
// change only the wall time, as setting the system clock would.
class FakeClock : public Clock {
public:
    explicit FakeClock(const QDateTime& start = QDateTime(QDate(2026, 1, 1), QTime(12, 0)));
    ~FakeClock() override;
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    QDateTime currentDateTime() const override;
    qint64 monotonicMs() const override;
    void set(const QDateTime& now);
    // A negative ms moves only the wall time: the monotonic clock never goes
    // back.
    void advanceMs(qint64 ms);
    void jumpWallClockMs(qint64 ms);

private:
    mutable std::mutex m_lock;
    QDateTime m_now;
    qint64 m_monotonicMs = 0;
};

}  // namespace fakes
