#pragma once

#include <QDateTime>

// The one source of "now" for the state model and the device logic. Tests
// replace the instance to move time without waiting.
//
// Two clocks: the local date-time for what a user or a document shows, and a
// monotonic one for durations, which a change of the system time or zone
// must neither cut short nor stretch.
class Clock {
public:
    virtual ~Clock() = default;

    // Current local date-time.
    virtual QDateTime currentDateTime() const;

    // Milliseconds from an arbitrary origin, never going back; only the
    // difference of two readings means anything.
    virtual qint64 monotonicMs() const;

    // The process-wide clock; the system clock unless a test installed another.
    static const Clock& instance();
    // Installs a clock (not owned); nullptr restores the system clock.
    static void setInstance(const Clock* clock);
};
