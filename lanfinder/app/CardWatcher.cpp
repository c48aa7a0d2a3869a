#include "app/CardWatcher.h"

CardWatcher::CardWatcher(Query query, OnChange onChange, QVector<NIC> known,
                         std::chrono::milliseconds period)
    : m_query(std::move(query)), m_onChange(std::move(onChange)), m_period(period) {
    m_thread = std::thread([this, known] { run(known); });
}

CardWatcher::~CardWatcher() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CardWatcher::run(QVector<NIC> known) {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        const auto until = std::chrono::steady_clock::now() + m_period;
        if (m_wake.wait_until(lock, until, [this] { return !m_running; })) {
            return;
        }
        lock.unlock();
        const QVector<NIC> cards = m_query();
        if (cards != known) {
            known = cards;
            m_onChange(cards);
        }
        lock.lock();
    }
}
