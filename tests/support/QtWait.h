#pragma once

// Waiting in tests whose objects deliver through the main thread's event
// loop (queued signals, timers): the loop keeps running while the test waits.

#include <functional>

namespace testsupport {

// Serves the main thread's events until cond holds or timeoutMs passes;
// returns cond's last value.
bool pumpUntil(const std::function<bool()>& cond, int timeoutMs = 10000);

}  // namespace testsupport
