#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "state/Result.h"

// The application's door to the browser interface: an embedded HTTP server
// (CivetWeb) serving the web folder, and the WebSocket "/ws" over which every
// browser gets the full state once, then every diff, sends its requests, gets
// their answers and, when its connection ends, "SessionClosing".
//
// Who may connect: by default only browsers on this computer that belong to
// the user running the program, since the server listens on the loopback
// alone. With remote access on it listens on every IPv4 address too, and a
// browser elsewhere must show the run's access token (see AccessPolicy).
// Every answer carries headers that forbid framing and content sniffing;
// only GET and HEAD are served, and no CGI or server-side includes run.
//
// Limits: CivetWeb runs `workerThreads` worker threads and every open
// WebSocket holds one of them, so at most `maxClients` WebSockets are accepted
// at once; the rest stay free for page loads. Incoming messages are limited to
// 64 KiB of text (larger ones close the client with 1009, binary ones are
// dropped) and to about 20 a second per browser beyond a burst of 40 (the
// excess waits, the other browsers do not). Every browser has its own outgoing
// queue and sender, so one that stops reading holds up no one else, and is
// dropped once 65536 frames or 32 MiB wait for it. One address other than the
// loopback may hold at most `maxClientsPerRemoteAddress` WebSockets, and all
// of them together leave `placesKeptForThisComputer` places free.
//
// Not bounded: CivetWeb (1.15) reads a whole WebSocket frame into memory
// before it hands it over, whatever length the frame announces, so only
// clients that passed the access check can make it allocate that much.
struct WebAccess {
    bool remote = false;
    QByteArray token;  // required of remote browsers; ignored without remote access
};

class WebServer : public QObject {
    Q_OBJECT

public:
    static constexpr int workerThreads = 64;
    static constexpr int maxClients = 48;
    static constexpr int maxClientsPerRemoteAddress = 8;
    static constexpr int placesKeptForThisComputer = 8;

    // Loopback only.
    WebServer(QString documentRoot, QString port, QObject* parent = nullptr);
    WebServer(QString documentRoot, QString port, WebAccess access, QObject* parent = nullptr);
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
