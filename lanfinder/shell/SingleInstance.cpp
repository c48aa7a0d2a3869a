#include "shell/SingleInstance.h"

#include <pwd.h>
#include <unistd.h>

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

namespace {

// A message is a 32-bit big-endian length and that many bytes of UTF-8; the
// receiver answers one ack byte once it has the whole message.
constexpr char ackByte = 'A';
constexpr quint32 maxMessageBytes = 64 * 1024;
// A peer that connects and then says nothing is dropped after this long.
constexpr int peerTimeoutMs = 10000;
constexpr int retryPauseMs = 50;

QString userPart() {
    QString name;
    if (const passwd* pw = getpwuid(getuid())) {
        name = QString::fromLocal8Bit(pw->pw_name);
    }
    if (name.isEmpty()) {
        name = QString::number(getuid());
    }
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return name;
}

}  // namespace

SingleInstance::SingleInstance(const QString& id, QObject* parent) : QObject(parent) {
    const QString base = id + QLatin1Char('-') + userPart();
    serverName_ = base;
    lockPath_ = QDir(QDir::tempPath()).filePath(base + QStringLiteral(".lock"));
    lock_ = std::make_unique<QLockFile>(lockPath_);
    // The running instance holds the lock for days: only a dead owner makes it
    // stale, never its age.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    if (server_) {
        server_->close();
    }
    if (primary_) {
        lock_->unlock();
    }
}

bool SingleInstance::isPrimary() const {
    return primary_;
}

bool SingleInstance::isRunning() {
    if (primary_) {
        return false;
    }
    return !tryBecomePrimary();
}

bool SingleInstance::tryBecomePrimary() {
    if (primary_) {
        return true;
    }
    // tryLock removes a lock whose owner process is gone.
    if (!lock_->tryLock(0)) {
        return false;
    }
    primary_ = true;
    // A socket file left by a crashed owner would make listen() fail.
    QLocalServer::removeServer(serverName_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!server_->listen(serverName_)) {
        qWarning().noquote() << "Single instance: cannot listen on" << serverName_ << ":"
                             << server_->errorString();
    }
    return true;
}

bool SingleInstance::sendMessage(const QString& text, int timeoutMs) {
    return deliver(text, timeoutMs);
}

bool SingleInstance::deliver(const QString& text, int timeoutMs) {
    const QByteArray payload = text.toUtf8();
    QByteArray frame;
    {
        QDataStream out(&frame, QIODevice::WriteOnly);
        out.setByteOrder(QDataStream::BigEndian);
        out << quint32(payload.size());
    }
    frame.append(payload);

    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // The running instance may have ended while we waited: then this one is it.
        if (tryBecomePrimary()) {
            return false;
        }
        QLocalSocket socket;
        socket.connectToServer(serverName_);
        if (socket.waitForConnected(int(deadline.remainingTime()))) {
            socket.write(frame);
            while (socket.bytesToWrite() > 0 && !deadline.hasExpired()) {
                if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) {
                    break;
                }
            }
            while (socket.bytesAvailable() < 1 && !deadline.hasExpired()) {
                if (!socket.waitForReadyRead(int(deadline.remainingTime()))) {
                    break;
                }
            }
            char answer = 0;
            if (socket.bytesAvailable() >= 1 && socket.getChar(&answer) && answer == ackByte) {
                socket.disconnectFromServer();
                return true;
            }
        }
        if (deadline.hasExpired()) {
            return false;
        }
        // The owner is alive but not listening yet (it is starting up).
        QThread::msleep(
            std::min<qint64>(retryPauseMs, std::max<qint64>(1, deadline.remainingTime())));
    }
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        QPointer<QLocalSocket> guard(socket);
        QTimer::singleShot(peerTimeoutMs, this, [guard] {
            if (guard) {
                guard->abort();
                guard->deleteLater();
            }
        });
        readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket* socket) {
    if (socket->property("done").toBool() || socket->bytesAvailable() < 4) {
        return;
    }
    const QByteArray head = socket->peek(4);
    const quint32 size = (quint32(quint8(head[0])) << 24) | (quint32(quint8(head[1])) << 16) |
                         (quint32(quint8(head[2])) << 8) | quint32(quint8(head[3]));
    if (size > maxMessageBytes) {
        qWarning() << "Single instance: oversized message of" << size << "bytes dropped";
        socket->setProperty("done", true);
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (socket->bytesAvailable() < qint64(4 + size)) {
        return;
    }
    socket->read(4);
    const QString message = QString::fromUtf8(socket->read(size));
    socket->setProperty("done", true);
    socket->putChar(ackByte);
    socket->flush();
    socket->disconnectFromServer();
    emit messageReceived(message);
}
