#include "web/WebServer.h"

#include <QDebug>
#include <QHostAddress>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <civetweb.h>
#include <unistd.h>

#include "web/ListenAddresses.h"
#include "web/OriginPolicy.h"
#include "web/PortHold.h"
#include "web/RequestGate.h"
#include "web/WebClient.h"

namespace {

constexpr std::chrono::milliseconds gracePeriod(2000);
constexpr int gracePollMs = 10;
constexpr std::chrono::milliseconds shutdownFlushTime(2000);

QString header(const mg_connection* connection, const char* name) {
    const char* value = mg_get_header(connection, name);
    return value ? QString::fromUtf8(value) : QString();
}

// The user data of a connection whose upgrade was accepted but is not ready.
char handshakeMark;

QString remoteAddress(const mg_connection* connection) {
    const mg_request_info* info = mg_get_request_info(connection);
    return info ? QString::fromUtf8(info->remote_addr) : QString();
}

bool isLoopback(const QString& address) {
    return QHostAddress(address).isLoopback();
}

// Matches no path: CivetWeb runs no CGI program and no server-side include.
constexpr char noFiles[] = "$^";

}  // namespace

struct WebServer::Private {
    struct Entry {
        std::shared_ptr<WebClient> client;
        // Diffs go only to clients that already have their full state queued,
        // so that no browser gets a diff before the state it applies to.
        bool ready = false;
        // Diffs sent while the full state is built for this client. The state
        // may have been built before some of them, so they follow it: each
        // sets values or adds or removes whole devices, so one that the state
        // already holds does no harm, and one it lacks is not lost.
        std::vector<QByteArray> early;
        std::size_t earlyBytes = 0;
        bool earlyOverflow = false;
    };

    Private(WebServer* owner, const WebAccess& access)
        : q(owner), gate(AccessPolicy(access.remote, access.token, ::getuid())) {}

    static int onWsConnect(const mg_connection* connection, void* data);
    static void onWsReady(mg_connection* connection, void* data);
    static int onWsData(mg_connection* connection, int bits, char* payload, std::size_t length,
                        void* data);
    static void onWsClose(const mg_connection* connection, void* data);
    static void onConnectionClose(const mg_connection* connection);
    static int onBeginRequest(mg_connection* connection);

    // Under the lock. The places an upgrade from `address` would take are
    // still free (the global cap aside).
    QString remoteRefusal(const QString& address) const;
    // Under the lock, for every connection counted since its upgrade.
    void release(const QString& address);

    Entry* find(std::uint64_t id) {
        for (Entry& entry : clients) {
            if (entry.client->id() == id) {
                return &entry;
            }
        }
        return nullptr;
    }

    WebServer* q;
    const RequestGate gate;
    mg_context* context = nullptr;
    int port = -1;

    // Guards the client list. Never held during a socket write: writes belong
    // to each client's sender thread.
    mutable std::mutex mutex;
    std::vector<Entry> clients;  // in order of connection
    // Upgrades accepted whose connection is not ready yet. They count against
    // the cap: counting only ready clients let browsers that connected at the
    // same time all pass the check and take the workers that serve pages.
    std::size_t handshakes = 0;
    // Open and opening WebSockets per peer address other than the loopback.
    std::map<QString, int> remotePlaces;
    int remoteTotal = 0;

    std::atomic<bool> noClients{false};
    // Set when the server goes down, so that no worker lingers over a
    // throttled client's backlog.
    std::atomic<bool> stopping{false};
    std::atomic<std::uint64_t> nextId{1};

    // The addresses kept from other programs while the server runs.
    std::vector<std::unique_ptr<PortHold>> holds;

    QTimer* graceTimer = nullptr;
    std::chrono::steady_clock::time_point graceStart;
};

int WebServer::Private::onWsConnect(const mg_connection* connection, void* data) {
    auto* self = static_cast<Private*>(data);
    const char* origin = mg_get_header(connection, "Origin");
    const OriginPolicy policy(self->port, OriginPolicy::currentOwnNames());
    const QString refusal =
        policy.refusal(header(connection, "Host"), origin ? QString::fromUtf8(origin) : QString());
    if (!refusal.isEmpty()) {
        qWarning().noquote() << "WebSocket refused from" << remoteAddress(connection) << ":"
                             << refusal;
        return 1;
    }

    const QString address = remoteAddress(connection);
    std::lock_guard<std::mutex> lock(self->mutex);
    if (self->clients.size() + self->handshakes >= static_cast<std::size_t>(maxClients)) {
        qWarning().noquote() << "WebSocket refused from" << address << ": already" << maxClients
                             << "browsers connected";
        return 1;
    }
    if (!isLoopback(address)) {
        const QString refusal = self->remoteRefusal(address);
        if (!refusal.isEmpty()) {
            qWarning().noquote() << "WebSocket refused from" << address << ":" << refusal;
            return 1;
        }
        ++self->remotePlaces[address];
        ++self->remoteTotal;
    }
    ++self->handshakes;
    // Marks the place as taken until the connection is ready or closes.
    mg_set_user_connection_data(connection, &handshakeMark);
    return 0;
}

// The only way to learn that a handshake failed after the upgrade was
// accepted: CivetWeb closes the connection without a ready or close handler.
void WebServer::Private::onConnectionClose(const mg_connection* connection) {
    if (mg_get_user_connection_data(connection) != &handshakeMark) {
        return;
    }
    mg_set_user_connection_data(connection, nullptr);
    auto* self = static_cast<Private*>(mg_get_user_data(mg_get_context(connection)));
    std::lock_guard<std::mutex> lock(self->mutex);
    --self->handshakes;
    self->release(remoteAddress(connection));
}

int WebServer::Private::onBeginRequest(mg_connection* connection) {
    auto* self = static_cast<Private*>(mg_get_user_data(mg_get_context(connection)));
    return self->gate.handle(connection);
}

QString WebServer::Private::remoteRefusal(const QString& address) const {
    const auto it = remotePlaces.find(address);
    if (it != remotePlaces.end() && it->second >= maxClientsPerRemoteAddress) {
        return QStringLiteral("already %1 browsers connected from there")
            .arg(maxClientsPerRemoteAddress);
    }
    if (remoteTotal >= maxClients - placesKeptForThisComputer) {
        return QStringLiteral("the places left are kept for this computer");
    }
    return {};
}

void WebServer::Private::release(const QString& address) {
    const auto it = remotePlaces.find(address);
    if (it == remotePlaces.end()) {
        return;
    }
    --remoteTotal;
    if (--it->second == 0) {
        remotePlaces.erase(it);
    }
}

// A browser is counted from here, not from the upgrade request: CivetWeb calls
// the close handler only for connections that became ready, so a handshake
// that fails half-way must not leave behind a client that never leaves.
void WebServer::Private::onWsReady(mg_connection* connection, void* data) {
    auto* self = static_cast<Private*>(data);
    auto client = std::make_shared<WebClient>(connection, self->nextId.fetch_add(1));
    mg_set_user_connection_data(connection, client.get());
    {
        std::lock_guard<std::mutex> lock(self->mutex);
        --self->handshakes;
        self->clients.emplace_back();
        self->clients.back().client = client;
        self->noClients.exchange(false);
        // Announced under the lock so that the counts arrive in the order they happened.
        emit self->q->activeConnections(self->clients.size());
    }
    // Asked without the lock: the provider may wait for the main thread, which
    // may itself be waiting for the lock to broadcast a diff.
    const QByteArray state = emit self->q->requestFullState();
    std::lock_guard<std::mutex> lock(self->mutex);
    Entry* entry = self->find(client->id());
    if (!entry) {
        return;
    }
    if (!state.isEmpty()) {
        client->sendText(state);
    }
    if (entry->earlyOverflow) {
        // More changed while the state was built than a browser may have
        // queued; a fresh connection gets a fresh state.
        client->sendClose(WebClient::closeTryAgainLater);
    } else {
        for (const QByteArray& diff : entry->early) {
            client->sendText(diff);
        }
    }
    entry->early = {};
    entry->ready = true;
}

int WebServer::Private::onWsData(mg_connection* connection, int bits, char* payload,
                                 std::size_t length, void* data) {
    auto* self = static_cast<Private*>(data);
    auto* client = static_cast<WebClient*>(mg_get_user_connection_data(connection));
    if (!client || client->isDropped() || self->stopping.load()) {
        return 0;
    }
    QByteArray message;
    bool closeNow = false;
    if (client->receive(bits, payload, length, message, closeNow)) {
        if (!client->throttle(self->stopping)) {
            return 0;
        }
        emit self->q->requestGuiMessageHandling(client->id(), message);
    }
    return closeNow ? 0 : 1;
}

void WebServer::Private::onWsClose(const mg_connection* connection, void* data) {
    auto* self = static_cast<Private*>(data);
    auto* raw = static_cast<WebClient*>(mg_get_user_connection_data(connection));
    if (!raw) {
        return;
    }
    std::shared_ptr<WebClient> client;
    {
        std::lock_guard<std::mutex> lock(self->mutex);
        for (auto it = self->clients.begin(); it != self->clients.end(); ++it) {
            if (it->client.get() == raw) {
                client = it->client;
                self->clients.erase(it);
                break;
            }
        }
        if (!client) {
            return;
        }
        self->release(remoteAddress(connection));
        const std::size_t count = self->clients.size();
        emit self->q->activeConnections(count);
        if (count == 0) {
            self->noClients.exchange(true);
            emit self->q->noActiveConnections();
        }
    }
    mg_set_user_connection_data(connection, nullptr);
    client->sendSessionClosing();
    client->sendClose(WebClient::closeNormal);
    // CivetWeb frees the connection when this handler returns.
    client->finish();
}

WebServer::WebServer(QString documentRoot, QString port, QObject* parent)
    : WebServer(std::move(documentRoot), std::move(port), WebAccess{}, parent) {}

WebServer::WebServer(QString documentRoot, QString port, WebAccess access, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(this, access)) {
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<std::size_t>("std::size_t");
    qRegisterMetaType<Result>("Result");

    d->graceTimer = new QTimer(this);
    d->graceTimer->setInterval(gracePollMs);
    connect(d->graceTimer, &QTimer::timeout, this, &WebServer::checkGrace);

    bool portOk = false;
    d->port = port.toInt(&portOk);
    if (!portOk) {
        d->port = -1;
    }

    mg_init_library(0);
    const QByteArray root = documentRoot.toUtf8();
    const QList<QHostAddress> addresses = listening::addresses(access.remote);
    const QByteArray ports = listening::listeningPorts(addresses, port);
    const QByteArray threads = QByteArray::number(workerThreads);
    const char* options[] = {"document_root",
                             root.constData(),
                             "num_threads",
                             threads.constData(),
                             "listening_ports",
                             ports.constData(),
                             "enable_directory_listing",
                             "false",
                             "websocket_timeout_ms",
                             "5000",
                             "additional_header",
                             RequestGate::securityHeaders,
                             "access_control_allow_origin",
                             "",
                             "cgi_pattern",
                             noFiles,
                             "ssi_pattern",
                             noFiles,
                             nullptr};
    mg_callbacks callbacks{};
    callbacks.connection_close = &Private::onConnectionClose;
    callbacks.begin_request = &Private::onBeginRequest;
    d->context = mg_start(&callbacks, d.get(), options);
    if (!d->context) {
        qWarning().noquote() << "Web server could not start on port" << port;
        return;
    }
    for (const QHostAddress& address : addresses) {
        if (address.protocol() != QAbstractSocket::IPv6Protocol) {
            continue;
        }
        d->holds.push_back(std::make_unique<PortHold>(address, static_cast<quint16>(d->port)));
        if (!d->holds.back()->held()) {
            qWarning().noquote() << "Port" << d->port << "on" << address.toString()
                                 << "is taken by another program: open the page at "
                                    "http://127.0.0.1:"
                                 << d->port << "rather than through localhost";
        }
    }
    mg_set_websocket_handler(d->context, "/ws", &Private::onWsConnect, &Private::onWsReady,
                             &Private::onWsData, &Private::onWsClose, d.get());
}

WebServer::~WebServer() {
    d->graceTimer->stop();
    d->stopping.store(true);
    std::vector<std::shared_ptr<WebClient>> open;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        for (Private::Entry& entry : d->clients) {
            entry.client->sendSessionClosing();
            entry.client->sendClose(WebClient::closeNormal);
            open.push_back(entry.client);
        }
    }
    // CivetWeb writes nothing once it is stopping, so the goodbyes go out
    // first; a browser that does not read them is not waited for long.
    const auto deadline = std::chrono::steady_clock::now() + shutdownFlushTime;
    for (const auto& client : open) {
        client->waitSent(deadline);
    }
    if (d->context) {
        // Runs onWsClose for every open connection, which flushes its queue.
        mg_stop(d->context);
        d->context = nullptr;
    }
    mg_exit_library();
    std::lock_guard<std::mutex> lock(d->mutex);
    d->clients.clear();
}

bool WebServer::isRunning() const {
    return d->context != nullptr;
}

std::size_t WebServer::clientCount() const {
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->clients.size();
}

void WebServer::onCacheUpdated(QByteArray diffs) {
    if (diffs.isEmpty()) {
        return;
    }
    std::lock_guard<std::mutex> lock(d->mutex);
    for (Private::Entry& entry : d->clients) {
        if (entry.ready) {
            entry.client->sendText(diffs);
        } else if (!entry.earlyOverflow) {
            entry.earlyBytes += static_cast<std::size_t>(diffs.size());
            if (entry.early.size() >= WebClient::maxQueuedFrames ||
                entry.earlyBytes > WebClient::maxQueuedBytes) {
                entry.early = {};
                entry.earlyOverflow = true;
            } else {
                entry.early.push_back(diffs);
            }
        }
    }
}

void WebServer::onGuiMessageHandled(Result result) {
    std::lock_guard<std::mutex> lock(d->mutex);
    if (Private::Entry* entry = d->find(result.clientID)) {
        entry->client->sendText(result.toCompactJson());
    }
}

void WebServer::onNoActiveConnections() {
    d->graceStart = std::chrono::steady_clock::now();
    d->graceTimer->start();
}

void WebServer::checkGrace() {
    const bool noClients = d->noClients.load();
    if (std::chrono::steady_clock::now() - d->graceStart >= gracePeriod) {
        d->graceTimer->stop();
        if (noClients) {
            emit requestApplicationClose();
        }
        return;
    }
    if (!noClients) {
        qDebug() << "Client joined back, closing thread";
        d->graceTimer->stop();
    }
}
