#include "state/FullStateRendezvous.h"

#include <algorithm>
#include <chrono>

#include <QDebug>

bool FullStateRendezvous::whileOpen(const std::function<void()>& post) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed) {
        return false;
    }
    post();
    return true;
}

QByteArray FullStateRendezvous::ask(const std::function<void(Answer)>& post, int timeoutMs) {
    auto request = std::make_shared<Request>();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_closed) {
        return QByteArray();
    }
    m_pending.push_back(request);
    post([self = shared_from_this(), request](const QByteArray& bytes) {
        std::lock_guard<std::mutex> answerLock(self->m_mutex);
        if (!request->done) {
            self->fulfil(request, bytes);
        }
    });
    // wait_for measures on the steady clock: setting the system time neither
    // cuts the wait short nor stretches it.
    const bool answered = m_answered.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                              [&] { return request->done; });
    if (!answered) {
        fulfil(request, QByteArray());
        qDebug() << "Full state request not answered by the main thread";
    }
    return request->bytes;
}

void FullStateRendezvous::close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
    for (const auto& request : m_pending) {
        request->done = true;
        request->bytes.clear();
    }
    m_pending.clear();
    m_answered.notify_all();
}

int FullStateRendezvous::waiting() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_pending.size());
}

void FullStateRendezvous::fulfil(const std::shared_ptr<Request>& request, const QByteArray& bytes) {
    request->done = true;
    request->bytes = bytes;
    m_pending.erase(std::remove(m_pending.begin(), m_pending.end(), request), m_pending.end());
    m_answered.notify_all();
}
