#pragma once

#include <QDateTime>

// The one source of "now" for the state model and the device logic. Tests
// replace the instance to move time without waiting.
class Clock {
public:
    virtual ~Clock() = default;

    // Current local date-time.
    virtual QDateTime currentDateTime() const { return QDateTime::currentDateTime(); }

    // The process-wide clock; the system clock unless a test installed another.
    static const Clock& instance();
    // Installs a clock (not owned); nullptr restores the system clock.
    static void setInstance(const Clock* clock);
};
