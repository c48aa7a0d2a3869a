#include "FakeClock.h"

#include <algorithm>

namespace fakes {

FakeClock::FakeClock(const QDateTime& start) : m_now(start) {
    Clock::setInstance(this);
}

FakeClock::~FakeClock() {
    Clock::setInstance(nullptr);
}

QDateTime FakeClock::currentDateTime() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_now;
}

qint64 FakeClock::monotonicMs() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_monotonicMs;
}

void FakeClock::set(const QDateTime& now) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_now = now;
}

void FakeClock::advanceMs(qint64 ms) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_now = m_now.addMSecs(ms);
    m_monotonicMs += std::max<qint64>(ms, 0);
}

void FakeClock::jumpWallClockMs(qint64 ms) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_now = m_now.addMSecs(ms);
}

}  // namespace fakes
