#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

// Joins the fragments of a browser's WebSocket messages (RFC 6455 5.4) into
// whole messages, within the size the program accepts. Knows nothing about
// the connection: the caller answers each outcome.
class MessageAssembler {
public:
    static constexpr std::size_t maxMessageBytes = 64u * 1024u;

    enum class Outcome {
        Pending,        // a fragment was kept; more must follow
        Message,        // a complete text message
        Control,        // ping or pong: nothing to deliver
        Close,          // the browser closes
        BinaryDropped,  // a complete binary message, not kept
        ProtocolError,  // see error()
        TooBig,         // the message grew beyond maxMessageBytes; dropped
    };

    // bits: the frame's first byte (FIN and opcode); data is unmasked.
    Outcome add(int bits, const char* data, std::size_t length, QByteArray& message);

    // What was wrong with the last frame that gave ProtocolError.
    const QString& error() const { return error_; }

private:
    QByteArray partial_;
    bool assembling_ = false;
    bool assemblingText_ = false;
    QString error_;
};
