#include "state/SeenBoard.h"

#include <cstring>
#include <mutex>

SeenBoard::Entry& SeenBoard::Entry::operator=(Entry&& other) noexcept {
    takenMs.store(other.takenMs.load(std::memory_order_relaxed), std::memory_order_relaxed);
    std::memcpy(cardIp, other.cardIp, sizeof cardIp);
    cardSize = other.cardSize;
    return *this;
}

void SeenBoard::settle(quint64 key, const QString& cardIp) {
    const QByteArray card = cardIp.toLatin1();
    if (key == 0 || card.isEmpty() || card.size() > static_cast<int>(sizeof(Entry::cardIp))) {
        return;
    }
    std::unique_lock<std::shared_mutex> lock(m_lock);
    Entry& entry = *m_entries.insert(key).first;
    std::memset(entry.cardIp, 0, sizeof entry.cardIp);
    std::memcpy(entry.cardIp, card.constData(), static_cast<std::size_t>(card.size()));
    entry.cardSize = static_cast<quint8>(card.size());
}

qint64 SeenBoard::release(quint64 key) {
    std::unique_lock<std::shared_mutex> lock(m_lock);
    const Entry* entry = m_entries.find(key);
    if (entry == nullptr) {
        return never;
    }
    // Under the exclusive lock no answer is being noted: the time read is
    // the last one under this key.
    const qint64 taken = entry->takenMs.load();
    m_entries.erase(key);
    return taken;
}

qint64 SeenBoard::takenMs(quint64 key) const {
    const Entry* entry = m_entries.find(key);
    return entry == nullptr ? never : entry->takenMs.load(std::memory_order_relaxed);
}

void SeenBoard::stopTaking() {
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_entries.for_each([](quint64, Entry& entry) { entry.cardSize = 0; });
}

bool SeenBoard::take(quint64 key, const std::string& cardIp, qint64 nowMs) const {
    std::shared_lock<std::shared_mutex> lock(m_lock);
    const Entry* entry = m_entries.find(key);
    if (entry == nullptr || entry->cardSize == 0 || cardIp.size() != entry->cardSize ||
        std::memcmp(entry->cardIp, cardIp.data(), cardIp.size()) != 0) {
        return false;
    }
    qint64 seen = entry->takenMs.load(std::memory_order_relaxed);
    while (seen < nowMs && !entry->takenMs.compare_exchange_weak(seen, nowMs)) {
    }
    return true;
}

std::size_t SeenBoard::size() const {
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_entries.size();
}
