#include "shell/SingleInstance.h"

#include <unistd.h>

#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include "shell/InstanceMessage.h"
#include "state/PrivateFiles.h"

namespace {

// The receiver answers one ack byte once it has the whole message.
constexpr char ackByte = 'A';
// A peer that connects and then says nothing is dropped after this long.
constexpr int peerTimeoutMs = 10000;
constexpr int retryPauseMs = 50;

}  // namespace

QString SingleInstance::privateRuntimeFolder() {
    // Checked, never changed: the session manager owns it.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivateFolder(runtime)) {
        return runtime;
    }
    const QString ours = QStringLiteral("lanfinder-%1").arg(::geteuid());
    for (const QString& folder :
         {QDir(QDir::tempPath()).filePath(ours), QDir::home().filePath(QLatin1Char('.') + ours)}) {
        if (ensurePrivateFolder(folder)) {
            return folder;
        }
        qWarning().noquote() << "Single instance: not a private folder of ours:" << folder;
    }
    return QString();
}

SingleInstance::SingleInstance(const QString& id, QObject* parent) : QObject(parent) {
    const QString folder = privateRuntimeFolder();
    if (folder.isEmpty()) {
        qWarning() << "Single instance: no private folder; running without one";
        primary_ = true;
        return;
    }
    const QDir dir(folder);
    serverName_ = dir.filePath(id + QStringLiteral(".socket"));
    lockPath_ = dir.filePath(id + QStringLiteral(".lock"));
    lock_ = std::make_unique<QLockFile>(lockPath_);
    // The running instance holds the lock for days: only a dead owner makes it
    // stale, never its age.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    if (server_) {
        server_->close();
    }
    if (primary_ && lock_) {
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
    const QByteArray frame = encodeInstanceMessage(text);

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
    if (socket->property("done").toBool()) {
        return;
    }
    const InstanceMessage message = readInstanceMessage(socket->peek(socket->bytesAvailable()));
    if (message.status == InstanceMessage::Status::Oversized) {
        qWarning() << "Single instance: oversized message dropped";
        socket->setProperty("done", true);
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (message.status == InstanceMessage::Status::Incomplete) {
        return;
    }
    socket->read(message.consumed);
    socket->setProperty("done", true);
    socket->putChar(ackByte);
    socket->flush();
    socket->disconnectFromServer();
    emit messageReceived(message.text);
}
