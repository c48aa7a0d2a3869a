#pragma once

#include <QByteArray>
#include <QString>

// The message a later start hands to the running instance: a 32-bit
// big-endian length and that many bytes of UTF-8.

// Longer announced messages are refused without being read.
inline constexpr quint32 maxInstanceMessageBytes = 64 * 1024;

QByteArray encodeInstanceMessage(const QString& text);

struct InstanceMessage {
    enum class Status {
        // Not all of it has arrived yet.
        Incomplete,
        // The length exceeds maxInstanceMessageBytes: drop the peer.
        Oversized,
        Complete,
    };
    Status status = Status::Incomplete;
    // The text, when complete.
    QString text;
    // The bytes the message took from the front of the buffer, when complete.
    int consumed = 0;
};

// Reads the message at the front of what a peer sent so far.
InstanceMessage readInstanceMessage(const QByteArray& received);
