#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <QByteArray>

// Where a worker thread waits for the full state that only the main thread
// can build, and the gate that closes when the state cache goes: shutdown
// destroys the cache before it stops the web server's threads, and the main
// thread answers nobody after that. Shared (std::shared_ptr) with the answers
// on their way, so a worker still waking up after the cache is gone finds it
// alive.
class FullStateRendezvous : public std::enable_shared_from_this<FullStateRendezvous> {
public:
    // Given to the main thread; may be called any number of times, from any
    // thread, also after close(): only the first answer of an open request
    // counts.
    using Answer = std::function<void(const QByteArray&)>;

    // Runs post() under the gate's lock unless the gate is closed, so close()
    // cannot complete while a post is under way; returns whether it ran.
    bool whileOpen(const std::function<void()>& post);

    // Hands post() (under the gate's lock) an answer for the main thread to
    // call, then waits for it up to timeoutMs. Empty bytes when the gate is
    // closed before or during the wait, or when the time runs out.
    QByteArray ask(const std::function<void(Answer)>& post, int timeoutMs);

    // Closes the gate and releases every waiting worker with empty bytes.
    void close();

    // Workers still waiting for an answer.
    int waiting() const;

private:
    struct Request {
        bool done = false;
        QByteArray bytes;
    };

    // Caller holds the mutex.
    void fulfil(const std::shared_ptr<Request>& request, const QByteArray& bytes);

    mutable std::mutex m_mutex;
    std::condition_variable m_answered;
    bool m_closed = false;
    std::vector<std::shared_ptr<Request>> m_pending;
};
