#include "device/SeenBoard.h"

#include <mutex>

#include "state/SeenStamp.h"

void SeenBoard::settle(quint64 key, const QString& cardIp,
                       const std::shared_ptr<SeenStamp>& stamp) {
    if (key == 0 || !stamp) {
        return;
    }
    std::unique_lock<std::shared_mutex> lock(m_lock);
    const quint64 previous = stamp->settledKey.load();
    if (previous != 0 && previous != key) {
        m_entries.erase(previous);
    }
    m_entries[key] = Entry{cardIp.toStdString(), stamp};
    stamp->settledKey.store(key);
    // A device that unsettles leaves its entry behind. A sweep after as many
    // settles as half the entries (and a few) costs a constant per settle
    // and leaves at most that many entries behind.
    if (++m_settlesSinceSweep > m_entries.size() / 2 + 16) {
        sweep();
    }
}

void SeenBoard::clear() {
    std::unique_lock<std::shared_mutex> lock(m_lock);
    for (auto& [key, entry] : m_entries) {
        entry.stamp->settledKey.store(0);
    }
    m_entries.clear();
    m_settlesSinceSweep = 0;
}

bool SeenBoard::take(quint64 key, const std::string& cardIp, qint64 nowMs) const {
    std::shared_lock<std::shared_mutex> lock(m_lock);
    const auto found = m_entries.find(key);
    if (found == m_entries.end() || found->second.cardIp != cardIp) {
        return false;
    }
    SeenStamp& stamp = *found->second.stamp;
    if (stamp.settledKey.load() != key) {
        return false;
    }
    // Noted first and the key read again after: a main thread that clears
    // the key and then reads the time either sees this answer's time or
    // makes it go the usual way (both sequentially consistent).
    qint64 seen = stamp.monotonicMs.load();
    while (seen < nowMs && !stamp.monotonicMs.compare_exchange_weak(seen, nowMs)) {
    }
    return stamp.settledKey.load() == key;
}

std::size_t SeenBoard::size() const {
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_entries.size();
}

void SeenBoard::sweep() {
    for (auto at = m_entries.begin(); at != m_entries.end();) {
        if (at->second.stamp->settledKey.load() != at->first) {
            at = m_entries.erase(at);
        } else {
            ++at;
        }
    }
    m_settlesSinceSweep = 0;
}
