#include "state/SeenBoard.h"

#include <algorithm>
#include <mutex>

SeenBoard::Entry& SeenBoard::Entry::operator=(Entry&& other) noexcept {
    word.store(other.word.load(std::memory_order_relaxed), std::memory_order_relaxed);
    return *this;
}

qint64 SeenBoard::timeOf(quint64 word) {
    const quint64 stamp = word >> cardBits;
    return stamp == 0 ? never : static_cast<qint64>(stamp - 1);
}

void SeenBoard::settle(quint64 key, const QString& cardIp) {
    const std::string card = cardIp.toStdString();
    if (key == 0 || card.empty()) {
        return;
    }
    std::unique_lock<std::shared_mutex> lock(m_lock);
    auto known = std::find(m_cards.begin(), m_cards.end(), card);
    if (known == m_cards.end()) {
        if (m_cards.size() >= cardMask) {
            // More cards than an entry can name: this one's answers go the
            // whole way.
            return;
        }
        known = m_cards.insert(m_cards.end(), card);
    }
    const auto number = static_cast<quint64>(known - m_cards.begin()) + 1;
    Entry& entry = *m_entries.insert(key).first;
    entry.word.store((entry.word.load() & ~cardMask) | number);
}

qint64 SeenBoard::release(quint64 key) {
    std::unique_lock<std::shared_mutex> lock(m_lock);
    const Entry* entry = m_entries.find(key);
    if (entry == nullptr) {
        return never;
    }
    // Under the exclusive lock no answer is being noted: the time read is
    // the last one under this key.
    const qint64 taken = timeOf(entry->word.load());
    m_entries.erase(key);
    return taken;
}

qint64 SeenBoard::takenMs(quint64 key) const {
    const Entry* entry = m_entries.find(key);
    return entry == nullptr ? never : timeOf(entry->word.load(std::memory_order_relaxed));
}

void SeenBoard::stopTaking() {
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_entries.for_each([](quint64, Entry& entry) {
        entry.word.store(entry.word.load(std::memory_order_relaxed) & ~cardMask,
                         std::memory_order_relaxed);
    });
    m_cards.clear();
}

bool SeenBoard::take(quint64 key, const std::string& cardIp, qint64 nowMs) const {
    std::shared_lock<std::shared_mutex> lock(m_lock);
    const Entry* entry = m_entries.find(key);
    if (entry == nullptr) {
        return false;
    }
    quint64 word = entry->word.load(std::memory_order_relaxed);
    // The card bits change only under the exclusive lock.
    const quint64 card = word & cardMask;
    if (card == 0 || m_cards[card - 1] != cardIp) {
        return false;
    }
    const quint64 noted = (static_cast<quint64>(std::max<qint64>(nowMs, 0)) + 1) << cardBits | card;
    while (word < noted && !entry->word.compare_exchange_weak(word, noted)) {
    }
    return true;
}

std::size_t SeenBoard::size() const {
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_entries.size();
}
