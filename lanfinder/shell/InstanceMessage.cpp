#include "shell/InstanceMessage.h"

#include <QtEndian>

namespace {

constexpr int headerBytes = 4;

}  // namespace

QByteArray encodeInstanceMessage(const QString& text) {
    const QByteArray payload = text.toUtf8();
    QByteArray frame(headerBytes, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), frame.data());
    return frame + payload;
}

InstanceMessage readInstanceMessage(const QByteArray& received) {
    InstanceMessage message;
    if (received.size() < headerBytes) {
        return message;
    }
    const quint32 size = qFromBigEndian<quint32>(received.constData());
    if (size > maxInstanceMessageBytes) {
        message.status = InstanceMessage::Status::Oversized;
        return message;
    }
    const int whole = headerBytes + static_cast<int>(size);
    if (received.size() < whole) {
        return message;
    }
    message.status = InstanceMessage::Status::Complete;
    message.text = QString::fromUtf8(received.constData() + headerBytes, static_cast<int>(size));
    message.consumed = whole;
    return message;
}
