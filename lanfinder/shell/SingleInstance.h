#pragma once

// One running instance per user: the first start holds a lock file and
// listens on a local socket; a later start hands its message to the first
// and can then end. Both files are named from the instance id and live in a
// folder only this user can enter (privateRuntimeFolder()), so another
// user's lock or socket can neither stop a start nor receive its message.
// A lock or socket file left behind by a crashed instance never blocks the
// next start. Without any private folder the process runs as the instance,
// alone and unannounced.

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& id, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Sends text to the running instance. True when a running instance
    // received it within timeoutMs; false when this process is (or has now
    // become) the running instance, or nobody answered in time.
    bool sendMessage(const QString& text, int timeoutMs);

    // True when another process holds the instance; takes the instance over
    // when it is free.
    bool isRunning();

    // True when this process is the running instance and listens for messages.
    bool isPrimary() const;

    // $XDG_RUNTIME_DIR when it is a private folder of ours; else
    // <temp>/lanfinder-<uid>, else <home>/.lanfinder-<uid>, each made or
    // tightened to 0700 unless another user owns it or it is a link; "" when
    // none will do.
    static QString privateRuntimeFolder();

    QString lockFilePath() const { return lockPath_; }
    QString serverName() const { return serverName_; }

signals:
    void messageReceived(const QString& message);

private:
    bool tryBecomePrimary();
    bool deliver(const QString& text, int timeoutMs);
    void onNewConnection();
    void readFrom(QLocalSocket* socket);

    QString lockPath_;
    QString serverName_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    bool primary_ = false;
};
