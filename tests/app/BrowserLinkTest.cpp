#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <future>

#include "FakeProtocolEngine.h"
#include "NetLab.h"
#include "QtWait.h"
#include "WsClient.h"
#include "app/Backend.h"
#include "state/StateCache.h"
#include "web/WebServer.h"

using testsupport::NetLab;
using testsupport::pumpUntil;
using testsupport::WsClient;

namespace {

constexpr int timeoutMs = 5000;

// The browser link as the program wires it: web server, backend and state
// cache on the main thread, with the program's queued connections, and real
// browsers (test clients) on the loopback of a private namespace.
class BrowserLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!NetLab::available(&why)) {
            GTEST_SKIP() << "network namespaces unavailable: " << why;
        }
        ASSERT_TRUE(folder.isValid());
        ns = lab.addNamespace("link");

        BackendOptions options;
        options.queryCards = [] { return QVector<NIC>(); };
        options.makeEngine = [this](IProtocolProvider) {
            auto made = QSharedPointer<fakes::FakeProtocolEngine>::create();
            engine = made.data();
            return made;
        };
        options.settingsPath = folder.filePath("Settings.json");
        options.languageFolder = folder.path();
        backend = createBackend(QJsonDocument(), options);
        cache.reset(new StateCache(backend.data()));
        cacheInstance(cache.data());

        QThread* mainThread = QThread::currentThread();
        lab.inNamespace(ns, [&] {
            server.reset(new WebServer(folder.path(), "8080"));
            server->moveToThread(mainThread);
        });
        ASSERT_TRUE(server->isRunning());
        QObject::connect(backend.data(), &Backend::guiMessageHandled, server.data(),
                         &WebServer::onGuiMessageHandled, Qt::QueuedConnection);
        QObject::connect(server.data(), &WebServer::requestGuiMessageHandling, backend.data(),
                         &Backend::handleGuiMessage, Qt::QueuedConnection);
        QObject::connect(server.data(), &WebServer::activeConnections, backend.data(),
                         &Backend::handleActiveConnections, Qt::QueuedConnection);
        QObject::connect(server.data(), &WebServer::requestFullState, cache.data(),
                         &StateCache::onFullStateRequested, Qt::DirectConnection);
        QObject::connect(cache.data(), &StateCache::cacheUpdated, server.data(),
                         &WebServer::onCacheUpdated, Qt::QueuedConnection);
    }

    void TearDown() override {
        // The program's order: the cache, then the web server, then the backend.
        cache.reset();
        server.reset();
        backend.reset();
    }

    // Runs fn on another thread while the main thread serves its events.
    template <typename Fn>
    auto whilePumping(Fn fn) {
        auto result = std::async(std::launch::async, fn);
        while (result.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return result.get();
    }

    std::unique_ptr<WsClient> browser() {
        auto client = std::make_unique<WsClient>();
        WsClient::Options options;
        options.hostHeader = "localhost:8080";
        options.origin = "http://localhost:8080";
        bool ok = false;
        lab.inNamespace(ns, [&] { ok = client->connect(options); });
        if (!ok) {
            return nullptr;
        }
        const auto state = whilePumping([&] { return client->receive(timeoutMs); });
        EXPECT_TRUE(state && QJsonDocument::fromJson(QByteArray::fromStdString(*state))
                                 .object()
                                 .contains("version"));
        return client;
    }

    std::optional<std::string> next(WsClient& client, int ms = timeoutMs) {
        return whilePumping([&] { return client.receive(ms); });
    }

    NetLab lab;
    std::string ns;
    QTemporaryDir folder;
    fakes::FakeProtocolEngine* engine = nullptr;
    QSharedPointer<Backend> backend;
    QSharedPointer<StateCache> cache;
    QSharedPointer<WebServer> server;
};

}  // namespace

TEST_F(BrowserLinkTest, ARequestIsAnsweredToItsSenderAndItsEffectReachesEveryone) {
    auto a = browser();
    auto b = browser();
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(a->sendText(R"({"reqType":"SetTheme","reqId":"1","theme":"dark"})"));

    const auto diffA = next(*a);
    const auto answer = next(*a);
    const auto diffB = next(*b);
    ASSERT_TRUE(diffA && answer && diffB);
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(*diffA)).object(),
              (QJsonObject{{"theme", "dark"}}));
    EXPECT_EQ(*answer, R"({"reqId":"1","reqType":"SetTheme","status":"OK"})");
    EXPECT_EQ(*diffB, *diffA);
    EXPECT_FALSE(next(*b, 300));
}

TEST_F(BrowserLinkTest, MalformedRequestsGetNoAnswerAndTheSocketStaysOpen) {
    auto a = browser();
    ASSERT_TRUE(a);
    ASSERT_TRUE(a->sendText("definitely not json"));
    ASSERT_TRUE(a->sendText(R"({"reqType":"SetTheme","theme":"dark"})"));
    ASSERT_TRUE(a->sendText(R"({"reqType":"Reboot","reqId":"2"})"));
    EXPECT_FALSE(next(*a, 500));
    EXPECT_FALSE(a->closed());
    ASSERT_TRUE(a->sendText(R"({"reqType":"SetLanguage","reqId":"3","language":"de"})"));
    EXPECT_TRUE(next(*a));  // the language diff
    EXPECT_EQ(next(*a), R"({"reqId":"3","reqType":"SetLanguage","status":"OK"})");
}

TEST_F(BrowserLinkTest, TheEngineRunsWhileABrowserIsConnected) {
    auto a = browser();
    ASSERT_TRUE(a);
    EXPECT_TRUE(pumpUntil([&] { return engine->starts == 1; }, timeoutMs));
    EXPECT_EQ(engine->stops, 0);
    a->close();
    EXPECT_TRUE(pumpUntil([&] { return engine->stops == 1; }, timeoutMs));
}
