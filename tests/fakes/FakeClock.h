#pragma once

#include <QDateTime>

#include <mutex>

#include "state/Clock.h"

namespace fakes {

// A clock that stands still until the test moves it. Installed as the
// application clock for its own lifetime. Safe to read from any thread.
class FakeClock : public Clock {
public:
    explicit FakeClock(const QDateTime& start = QDateTime(QDate(2026, 1, 1), QTime(12, 0)));
    ~FakeClock() override;
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    QDateTime currentDateTime() const override;
    void set(const QDateTime& now);
    void advanceMs(qint64 ms);

private:
    mutable std::mutex m_lock;
    QDateTime m_now;
};

}  // namespace fakes
