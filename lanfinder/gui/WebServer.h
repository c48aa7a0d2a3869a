#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "gui/Result.h"

// The application's door to the browser interface: an embedded HTTP server
// (CivetWeb) serving the web folder, and the WebSocket "/ws" over which every
// browser gets the full state once, then every diff, sends its requests, gets
// their answers and, when its connection ends, "SessionClosing".
//
// Limits: CivetWeb runs `workerThreads` worker threads and every open
// WebSocket holds one of them, so at most `maxClients` WebSockets are accepted
// at once; the rest stay free for page loads. Incoming messages are limited to
// 64 KiB of text (larger ones close the client with 1009, binary ones are
// dropped) and to about 20 a second per browser beyond a burst of 40 (the
// excess waits, the other browsers do not). Every browser has its own outgoing
// queue and sender, so one that stops reading holds up no one else, and is
// dropped once 65536 frames or 32 MiB wait for it.
class WebServer : public QObject {
    Q_OBJECT

public:
    static constexpr int workerThreads = 64;
    static constexpr int maxClients = 48;

    WebServer(QString documentRoot, QString port, QObject* parent = nullptr);
    ~WebServer() override;

    // False when the server could not start (port taken or invalid).
    bool isRunning() const;
    // Open WebSocket connections.
    std::size_t clientCount() const;

signals:
    void requestGuiMessageHandling(uint64_t clientID, QByteArray message);
    QByteArray requestFullState();
    void activeConnections(std::size_t count);
    void noActiveConnections();
    void requestApplicationClose();

public slots:
    void onCacheUpdated(QByteArray diffs);
    void onGuiMessageHandled(Result result);
    void onNoActiveConnections();

private:
    struct Private;
    friend struct Private;

    void checkGrace();

    std::unique_ptr<Private> d;
};
