#include "web/WebClient.h"

#include <civetweb.h>
#include <QDebug>

namespace {

QByteArray closePayload(std::uint16_t code) {
    QByteArray payload(2, '\0');
    payload[0] = static_cast<char>(code >> 8);
    payload[1] = static_cast<char>(code & 0xff);
    return payload;
}

}  // namespace

WebClient::WebClient(mg_connection* connection, std::uint64_t id)
    : connection_(connection), id_(id), lastRefill_(std::chrono::steady_clock::now()) {
    sender_ = std::thread([this] { run(); });
}

WebClient::~WebClient() {
    finish();
}

bool WebClient::enqueue(int opcode, const QByteArray& bytes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (dropped_ || closeQueued_ || finishing_) {
            return false;
        }
        // The limit is on the backlog behind the next frame to go out, not on
        // that frame: the full state of a large fleet (62 MB at 50,000
        // devices) is bigger than the limit and must still reach a browser
        // that reads, also when the diffs that came while it was built are
        // queued before the sender thread has taken it.
        std::size_t waitingFrames = queue_.size();
        std::size_t waitingBytes = queuedBytes_;
        if (!queue_.empty()) {
            waitingFrames -= 1;
            waitingBytes -= static_cast<std::size_t>(queue_.front().bytes.size());
        }
        if (waitingFrames >= maxQueuedFrames || waitingBytes >= maxQueuedBytes) {
            dropped_ = true;
            queue_.clear();
            queuedBytes_ = 0;
            qWarning() << "Web client" << id_ << "dropped: it does not read what it is sent";
            // Told once it reads again, so that the page starts over with a
            // fresh state rather than show one that no longer changes.
            queue_.push_back(
                Frame{MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE, closePayload(closeTryAgainLater)});
            queuedBytes_ = static_cast<std::size_t>(queue_.back().bytes.size());
            closeQueued_ = true;
            wake_.notify_one();
            return false;
        }
        queue_.push_back(Frame{opcode, bytes});
        queuedBytes_ += static_cast<std::size_t>(bytes.size());
        if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE) {
            closeQueued_ = true;
        }
    }
    wake_.notify_one();
    return true;
}

bool WebClient::sendText(const QByteArray& bytes) {
    return enqueue(MG_WEBSOCKET_OPCODE_TEXT, bytes);
}

void WebClient::sendClose(std::uint16_t code) {
    enqueue(MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE, closePayload(code));
}

bool WebClient::sendSessionClosing() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sessionClosingQueued_) {
            return false;
        }
        sessionClosingQueued_ = true;
    }
    return sendText(QByteArrayLiteral("SessionClosing"));
}

bool WebClient::isDropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

void WebClient::finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_one();
    if (sender_.joinable()) {
        sender_.join();
    }
}

bool WebClient::waitSent(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    return drained_.wait_until(lock, deadline, [this] { return queue_.empty() && !writing_; });
}

void WebClient::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (queue_.empty()) {
            drained_.notify_all();
        }
        wake_.wait(lock, [this] { return finishing_ || !queue_.empty(); });
        if (queue_.empty()) {
            return;  // finishing, and all sent
        }
        Frame frame = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= static_cast<std::size_t>(frame.bytes.size());
        if (dropped_ && frame.opcode != MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE) {
            continue;
        }
        writing_ = true;
        lock.unlock();
        const int written = mg_websocket_write(connection_, frame.opcode, frame.bytes.constData(),
                                               static_cast<std::size_t>(frame.bytes.size()));
        lock.lock();
        writing_ = false;
        if (written <= 0 && !dropped_) {
            dropped_ = true;
            queue_.clear();
            queuedBytes_ = 0;
            qDebug() << "Web client" << id_ << "dropped: a write failed";
        }
    }
}

bool WebClient::receive(int bits, const char* data, std::size_t length, QByteArray& message,
                        bool& closeNow) {
    closeNow = false;
    switch (assembler_.add(bits, data, length, message)) {
        case MessageAssembler::Outcome::Message:
            return true;
        case MessageAssembler::Outcome::Pending:
        case MessageAssembler::Outcome::Control:
            return false;
        case MessageAssembler::Outcome::Close:
            // Answer the browser's close so that it completes as a clean close.
            sendSessionClosing();
            sendClose(closeNormal);
            break;
        case MessageAssembler::Outcome::BinaryDropped:
            qWarning() << "Web client" << id_ << "sent a binary message; dropped";
            return false;
        case MessageAssembler::Outcome::ProtocolError:
            qWarning().noquote() << "Web client" << id_ << "closed:" << assembler_.error();
            sendClose(closeProtocolError);
            break;
        case MessageAssembler::Outcome::TooBig:
            qWarning() << "Web client" << id_ << "closed: a message is larger than"
                       << MessageAssembler::maxMessageBytes << "bytes";
            sendClose(closeTooBig);
            break;
    }
    closeNow = true;
    return false;
}

bool WebClient::throttle(const std::atomic<bool>& stopping) {
    using namespace std::chrono;
    for (;;) {
        if (stopping.load()) {
            return false;
        }
        const auto now = steady_clock::now();
        tokens_ += duration<double>(now - lastRefill_).count() * messagesPerSecond;
        if (tokens_ > messageBurst) {
            tokens_ = messageBurst;
        }
        lastRefill_ = now;
        if (tokens_ >= 1.0) {
            tokens_ -= 1.0;
            return true;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
}
