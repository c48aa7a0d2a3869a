#pragma once

#include <QtGlobal>

#include <atomic>
#include <limits>

// A device's answers as a thread other than the main one takes them: when a
// device repeats an answer its values already hold, a receive thread notes
// the time here instead of handing the answer on (SeenBoard). The main
// thread reads it for the silence check and for lastSeen.
struct SeenStamp {
    static constexpr qint64 never = std::numeric_limits<qint64>::min();

    // Clock::monotonicMs of the newest answer taken off the main thread.
    std::atomic<qint64> monotonicMs{never};
    // The repeat key whose answers may be taken as seen only; 0: none. The
    // main thread sets it once an answer left nothing to do but lastSeen,
    // and clears it before anything about the device changes.
    std::atomic<quint64> settledKey{0};
};
