#pragma once

#include <QVector>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "device/NIC.h"

// Reads the card list on a thread of its own once a period and reports every
// change. It only queries and compares: whoever owns the state applies the
// change on its own thread.
class CardWatcher {
public:
    using Query = std::function<QVector<NIC>()>;
    // Called on the watch thread with the new list.
    using OnChange = std::function<void(const QVector<NIC>& cards)>;

    // Starts watching from `known`, the list the owner already shows.
    CardWatcher(Query query, OnChange onChange, QVector<NIC> known,
                std::chrono::milliseconds period = std::chrono::seconds(1));
    // Wakes the thread at once and joins it.
    ~CardWatcher();
    CardWatcher(const CardWatcher&) = delete;
    CardWatcher& operator=(const CardWatcher&) = delete;

private:
    void run(QVector<NIC> known);

    Query m_query;
    OnChange m_onChange;
    std::chrono::milliseconds m_period;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_running = true;
    std::thread m_thread;
};
