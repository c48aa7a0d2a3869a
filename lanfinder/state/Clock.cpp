#include "state/Clock.h"

#include <atomic>
#include <chrono>
#include <limits>

namespace {
const Clock systemClock;
std::atomic<const Clock*> current{&systemClock};
}  // namespace

QDateTime Clock::currentDateTime() const {
    // Converting to local time consults the zone rules, some microseconds,
    // and thousands of answers a second are stamped within the same
    // millisecond: the same millisecond is the same local time.
    thread_local qint64 stampedMs = std::numeric_limits<qint64>::min();
    thread_local QDateTime stamp;
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    if (nowMs != stampedMs) {
        stamp = QDateTime::fromMSecsSinceEpoch(nowMs, Qt::LocalTime);
        stampedMs = nowMs;
    }
    return stamp;
}

qint64 Clock::monotonicMs() const {
    const auto sinceOrigin = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(sinceOrigin).count();
}

const Clock& Clock::instance() {
    return *current.load();
}

void Clock::setInstance(const Clock* clock) {
    current.store(clock ? clock : &systemClock);
}
