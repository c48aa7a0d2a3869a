#include "state/Clock.h"

#include <atomic>

namespace {
const Clock systemClock;
std::atomic<const Clock*> current{&systemClock};
}  // namespace

const Clock& Clock::instance() {
    return *current.load();
}

void Clock::setInstance(const Clock* clock) {
    current.store(clock ? clock : &systemClock);
}
