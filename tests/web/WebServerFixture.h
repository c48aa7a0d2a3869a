#pragma once

// A real web server on the loopback of a private namespace, with its signals
// recorded; shared by the tests of the server's behaviour and of its access
// rules.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "NetLab.h"
#include "QtWait.h"
#include "WsClient.h"
#include "web/WebClient.h"
#include "web/WebServer.h"

namespace webservertest {

using testsupport::NetLab;
using testsupport::pumpUntil;
using testsupport::WsClient;

inline constexpr int timeoutMs = 5000;
inline const std::string fullState = R"({"full":true})";

// A real server on the loopback of a private namespace, with its signals
// recorded. The server is made inside the namespace (its listening socket
// belongs there) and then handed to the main thread, as in the program.
class WebServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!NetLab::available(&why)) {
            GTEST_SKIP() << "network namespaces unavailable: " << why;
        }
        ASSERT_TRUE(root.isValid());
        QFile index(root.path() + "/index.html");
        ASSERT_TRUE(index.open(QIODevice::WriteOnly));
        index.write("<html>lanfinder</html>");
        index.close();
        ns = lab.addNamespace("gui");
        startServer();
    }

    void TearDown() override { stopServer(); }

    void startServer() {
        QThread* mainThread = QThread::currentThread();
        lab.inNamespace(ns, [&] {
            server = new WebServer(root.path(), QString::number(port), access);
            server->moveToThread(mainThread);
        });
        ASSERT_TRUE(server->isRunning());
        QObject::connect(
            server, &WebServer::requestFullState, server,
            [this] {
                ++fullStateRequests;
                const QByteArray state = QByteArray::fromStdString(fullState);
                if (afterFullStateBuilt) {
                    afterFullStateBuilt();
                }
                return state;
            },
            Qt::DirectConnection);
        QObject::connect(
            server, &WebServer::requestGuiMessageHandling, server,
            [this](uint64_t id, QByteArray message) {
                std::lock_guard<std::mutex> lock(mutex);
                messages.emplace_back(id, message);
            },
            Qt::DirectConnection);
        QObject::connect(
            server, &WebServer::activeConnections, server,
            [this](std::size_t count) {
                std::lock_guard<std::mutex> lock(mutex);
                counts.push_back(count);
            },
            Qt::DirectConnection);
        QObject::connect(server, &WebServer::noActiveConnections, server,
                         &WebServer::onNoActiveConnections, Qt::QueuedConnection);
        QObject::connect(server, &WebServer::requestApplicationClose, server,
                         [this] { ++closeRequests; });
    }

    void stopServer() {
        delete server;
        server = nullptr;
    }

    // Connects inside the namespace; the socket stays there for its life.
    std::unique_ptr<WsClient> connectClient(const std::string& hostHeader = {},
                                            std::optional<std::string> origin = {}) {
        auto client = std::make_unique<WsClient>();
        WsClient::Options options;
        options.port = port;
        options.hostHeader = hostHeader;
        options.origin = origin;
        bool ok = false;
        lab.inNamespace(ns, [&] { ok = client->connect(options); });
        return ok ? std::move(client) : nullptr;
    }

    // A connected client that already took its full state.
    std::unique_ptr<WsClient> readyClient() {
        auto client = connectClient();
        EXPECT_TRUE(client);
        if (client) {
            EXPECT_EQ(client->receive(timeoutMs), fullState);
        }
        return client;
    }

    std::vector<std::pair<uint64_t, QByteArray>> messagesSoFar() {
        std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }
    std::vector<std::size_t> countsSoFar() {
        std::lock_guard<std::mutex> lock(mutex);
        return counts;
    }

    NetLab lab;
    std::string ns;
    WebAccess access;  // loopback only unless a test opens it
    QTemporaryDir root;
    const std::uint16_t port = 8080;
    WebServer* server = nullptr;

    std::atomic<int> fullStateRequests{0};
    // Runs where the program's main thread may go on with its work after
    // building a browser's state and before the browser counts as ready.
    std::function<void()> afterFullStateBuilt;
    std::atomic<int> closeRequests{0};
    std::mutex mutex;
    std::vector<std::pair<uint64_t, QByteArray>> messages;
    std::vector<std::size_t> counts;
};

}  // namespace webservertest
