#pragma once

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "web/MessageAssembler.h"

struct mg_connection;

// One open WebSocket connection of the web server. Every frame for it goes
// through its own queue, written by its own sender thread, so that a browser
// that stops reading (or vanished) stalls only its own sender: broadcasts to
// the others never wait for it, and writes to one connection never overlap.
class WebClient {
public:
    // Frames waiting beyond these limits mean the browser no longer reads; it
    // is then dropped instead of holding ever more memory (the backlog behind
    // the next frame to go out, that frame and the one being written). A
    // first scan of a large fleet sends dozens of small diffs per new device
    // within moments, so the frame limit is generous and the byte limit does
    // the guarding.
    static constexpr std::size_t maxQueuedFrames = 65536;
    static constexpr std::size_t maxQueuedBytes = 32u * 1024u * 1024u;

    // A browser sends a request per user action; more than this is a runaway
    // page, slowed down so that it cannot starve the others.
    static constexpr double messagesPerSecond = 20.0;
    static constexpr double messageBurst = 40.0;

    // Close codes (RFC 6455). A browser closed with closeTryAgainLater
    // connects again and starts over with a fresh state.
    static constexpr std::uint16_t closeNormal = 1000;
    static constexpr std::uint16_t closeProtocolError = 1002;
    static constexpr std::uint16_t closeTooBig = 1009;
    static constexpr std::uint16_t closeTryAgainLater = 1013;

    WebClient(mg_connection* connection, std::uint64_t id);
    ~WebClient();
    WebClient(const WebClient&) = delete;
    WebClient& operator=(const WebClient&) = delete;

    std::uint64_t id() const { return id_; }
    mg_connection* connection() const { return connection_; }

    // Queues a text frame; false when the client was dropped or is closing.
    bool sendText(const QByteArray& bytes);
    // Queues a close frame with the status code; nothing is sent after it.
    void sendClose(std::uint16_t code);
    // Queues "SessionClosing" unless it was queued already; true when queued now.
    bool sendSessionClosing();

    // Waits until everything queued so far is written (or dropped), or the
    // deadline passes; true when the queue drained.
    bool waitSent(std::chrono::steady_clock::time_point deadline);

    // Sends what is queued and ends the sender thread. Must complete before
    // CivetWeb releases the connection, i.e. inside the close handler.
    void finish();

    // True once a write failed or the queue overflowed.
    bool isDropped() const;

    // Receives one frame from the worker thread. Returns true with a complete
    // text message in `message`, false with nothing to deliver. Sets
    // `closeNow` when the connection must be ended (a close frame, a message
    // too large, a protocol error); the fitting close frame is already queued.
    bool receive(int bits, const char* data, std::size_t length, QByteArray& message,
                 bool& closeNow);

    // Blocks the worker thread until the client may deliver another message;
    // false, at once, when `stopping` is set.
    bool throttle(const std::atomic<bool>& stopping);

private:
    struct Frame {
        int opcode;
        QByteArray bytes;
    };

    bool enqueue(int opcode, const QByteArray& bytes);
    void run();

    mg_connection* connection_;
    std::uint64_t id_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    bool writing_ = false;
    std::deque<Frame> queue_;
    std::size_t queuedBytes_ = 0;
    bool closeQueued_ = false;
    bool sessionClosingQueued_ = false;
    bool finishing_ = false;
    bool dropped_ = false;
    std::thread sender_;

    // Touched by the connection's worker thread only.
    MessageAssembler assembler_;
    double tokens_ = messageBurst;
    std::chrono::steady_clock::time_point lastRefill_;
};
