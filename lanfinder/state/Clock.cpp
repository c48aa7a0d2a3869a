#include "state/Clock.h"

#include <atomic>
#include <chrono>

namespace {
const Clock systemClock;
std::atomic<const Clock*> current{&systemClock};
}  // namespace

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
