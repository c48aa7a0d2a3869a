#include "WebServerFixture.h"

using namespace webservertest;
using testsupport::NetLab;
using testsupport::WsClient;

TEST_F(WebServerTest, SendsTheFullStateOnceWhenReady) {
    auto client = readyClient();
    ASSERT_TRUE(client);
    EXPECT_FALSE(client->receive(300));
    EXPECT_EQ(fullStateRequests.load(), 1);
    EXPECT_EQ(countsSoFar(), std::vector<std::size_t>{1});
}

TEST_F(WebServerTest, SendsEveryDiffToEveryClientInOrderAndSkipsEmptyOnes) {
    std::vector<std::unique_ptr<WsClient>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(readyClient());
        ASSERT_TRUE(clients.back());
    }
    server->onCacheUpdated("first");
    server->onCacheUpdated(QByteArray());
    server->onCacheUpdated("second");
    for (auto& client : clients) {
        EXPECT_EQ(client->receive(timeoutMs), "first");
        EXPECT_EQ(client->receive(timeoutMs), "second");
    }
}

TEST_F(WebServerTest, DiffsSentWhileAStateIsBuiltFollowThatState) {
    auto early = readyClient();
    ASSERT_TRUE(early);
    afterFullStateBuilt = [this] {
        server->onCacheUpdated("after the state was built");
        server->onCacheUpdated("and one more");
    };
    auto late = connectClient();
    ASSERT_TRUE(late);
    EXPECT_EQ(late->receive(timeoutMs), fullState);
    EXPECT_EQ(late->receive(timeoutMs), "after the state was built");
    EXPECT_EQ(late->receive(timeoutMs), "and one more");
    afterFullStateBuilt = nullptr;
    server->onCacheUpdated("later");
    EXPECT_EQ(late->receive(timeoutMs), "later");
    // A browser that was ready all along gets each diff once, in order.
    EXPECT_EQ(early->receive(timeoutMs), "after the state was built");
    EXPECT_EQ(early->receive(timeoutMs), "and one more");
    EXPECT_EQ(early->receive(timeoutMs), "later");
}

TEST_F(WebServerTest, AnswersOnlyTheSenderAndDropsAnswersForUnknownClients) {
    auto a = readyClient();
    auto b = readyClient();
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(a->sendText(R"({"reqType":"SetTheme","reqId":"7","theme":"dark"})"));
    ASSERT_TRUE(testsupport::waitFor([&] { return messagesSoFar().size() == 1; }, timeoutMs));
    const uint64_t sender = messagesSoFar()[0].first;

    Result stray;
    stray.clientID = sender + 1000;
    stray.status = ResultStatus::OK;
    server->onGuiMessageHandled(stray);

    Result answer;
    answer.clientID = sender;
    answer.status = ResultStatus::OK;
    answer.reqType = "SetTheme";
    answer.reqId = "7";
    server->onGuiMessageHandled(answer);
    server->onCacheUpdated("marker");

    EXPECT_EQ(a->receive(timeoutMs), R"({"reqId":"7","reqType":"SetTheme","status":"OK"})");
    EXPECT_EQ(a->receive(timeoutMs), "marker");
    EXPECT_EQ(b->receive(timeoutMs), "marker");
}

TEST_F(WebServerTest, ClientIdsNameOneConnectionEach) {
    auto a = readyClient();
    auto b = readyClient();
    ASSERT_TRUE(a && b);
    a->sendText("from a");
    ASSERT_TRUE(testsupport::waitFor([&] { return messagesSoFar().size() == 1; }, timeoutMs));
    b->sendText("from b");
    ASSERT_TRUE(testsupport::waitFor([&] { return messagesSoFar().size() == 2; }, timeoutMs));
    const auto got = messagesSoFar();
    EXPECT_EQ(got[0].second, "from a");
    EXPECT_EQ(got[1].second, "from b");
    EXPECT_NE(got[0].first, got[1].first);
}

TEST_F(WebServerTest, PassesMalformedTextOnAndKeepsTheSocketOpen) {
    auto client = readyClient();
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->sendText("this is not JSON"));
    ASSERT_TRUE(testsupport::waitFor([&] { return messagesSoFar().size() == 1; }, timeoutMs));
    EXPECT_EQ(messagesSoFar()[0].second, "this is not JSON");
    server->onCacheUpdated("still here");
    EXPECT_EQ(client->receive(timeoutMs), "still here");
    EXPECT_FALSE(client->closed());
}

TEST_F(WebServerTest, AnIdleBrowserStaysConnectedPastTheSocketTimeout) {
    auto client = readyClient();
    ASSERT_TRUE(client);
    EXPECT_FALSE(client->receive(7000));  // longer than websocket_timeout_ms
    EXPECT_FALSE(client->closed());
    server->onCacheUpdated("later");
    EXPECT_EQ(client->receive(timeoutMs), "later");
    EXPECT_EQ(server->clientCount(), 1u);
}

TEST_F(WebServerTest, JoinsFragmentedTextIntoOneMessage) {
    auto client = readyClient();
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->sendFrame(WsClient::Text, "{\"a\":", false));
    ASSERT_TRUE(client->sendFrame(WsClient::Continuation, "1}", true));
    ASSERT_TRUE(testsupport::waitFor([&] { return messagesSoFar().size() == 1; }, timeoutMs));
    EXPECT_EQ(messagesSoFar()[0].second, "{\"a\":1}");
}

TEST_F(WebServerTest, DropsBinaryFramesAndKeepsTheClient) {
    auto client = readyClient();
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->sendBinary(std::string("\x01\x02\x03", 3)));
    ASSERT_TRUE(client->sendText("after binary"));
    ASSERT_TRUE(testsupport::waitFor([&] { return !messagesSoFar().empty(); }, timeoutMs));
    const auto got = messagesSoFar();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].second, "after binary");
    server->onCacheUpdated("open");
    EXPECT_EQ(client->receive(timeoutMs), "open");
}

TEST_F(WebServerTest, ClosesAClientWhoseMessageIsTooLargeAndSparesTheOthers) {
    auto big = readyClient();
    auto other = readyClient();
    ASSERT_TRUE(big && other);
    ASSERT_TRUE(big->sendText(std::string(64 * 1024 + 1, 'x')));
    EXPECT_TRUE(big->waitClosed(timeoutMs));
    EXPECT_EQ(big->closeCode(), 1009);
    EXPECT_TRUE(messagesSoFar().empty());
    // A message of exactly the limit still passes.
    ASSERT_TRUE(other->sendText(std::string(64 * 1024, 'y')));
    ASSERT_TRUE(testsupport::waitFor([&] { return messagesSoFar().size() == 1; }, timeoutMs));
    server->onCacheUpdated("fine");
    EXPECT_EQ(other->receive(timeoutMs), "fine");
}

TEST_F(WebServerTest, SendsSessionClosingAndACleanCloseWhenTheBrowserCloses) {
    auto a = readyClient();
    auto b = readyClient();
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(a->sendFrame(WsClient::Close, std::string("\x03\xe8", 2)));
    EXPECT_EQ(a->receive(timeoutMs), "SessionClosing");
    EXPECT_TRUE(a->waitClosed(timeoutMs));
    EXPECT_EQ(a->closeCode(), 1000);
    ASSERT_TRUE(testsupport::waitFor([&] { return countsSoFar().size() == 3; }, timeoutMs));
    EXPECT_EQ(countsSoFar(), (std::vector<std::size_t>{1, 2, 1}));
    // One browser left: no grace period starts.
    pumpUntil([] { return false; }, 2300);
    EXPECT_EQ(closeRequests.load(), 0);
}

TEST_F(WebServerTest, SendsSessionClosingToEveryClientOnShutdown) {
    std::vector<std::unique_ptr<WsClient>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(readyClient());
        ASSERT_TRUE(clients.back());
    }
    struct Seen {
        std::optional<std::string> last;
        int closeCode = -1;
    };
    std::vector<Seen> seen(clients.size());
    std::vector<std::thread> readers;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        readers.emplace_back([&, i] {
            seen[i].last = clients[i]->receive(timeoutMs);
            clients[i]->waitClosed(timeoutMs);
            seen[i].closeCode = clients[i]->closeCode();
        });
    }
    stopServer();
    for (auto& reader : readers) {
        reader.join();
    }
    for (const Seen& s : seen) {
        EXPECT_EQ(s.last, "SessionClosing");
        EXPECT_EQ(s.closeCode, 1000);
    }
}

TEST_F(WebServerTest, AsksToCloseOnceTwoSecondsAfterTheLastBrowserLeft) {
    auto client = readyClient();
    ASSERT_TRUE(client);
    client->close();
    QElapsedTimer sinceLeft;
    sinceLeft.start();
    ASSERT_TRUE(pumpUntil([&] { return closeRequests.load() > 0; }, 6000));
    EXPECT_GE(sinceLeft.elapsed(), 1900);
    pumpUntil([] { return false; }, 500);
    EXPECT_EQ(closeRequests.load(), 1);
    EXPECT_EQ(countsSoFar(), (std::vector<std::size_t>{1, 0}));
}

TEST_F(WebServerTest, AReconnectWithinTheGracePeriodKeepsTheProgram) {
    auto first = readyClient();
    ASSERT_TRUE(first);
    first->close();
    pumpUntil([] { return false; }, 500);
    auto second = readyClient();
    ASSERT_TRUE(second);
    pumpUntil([] { return false; }, 2500);
    EXPECT_EQ(closeRequests.load(), 0);
    EXPECT_EQ(fullStateRequests.load(), 2);
}

struct HandshakeCase {
    const char* name;
    std::string host;
    std::optional<std::string> origin;
    bool accepted;
};

class WebServerHandshake : public WebServerTest,
                           public ::testing::WithParamInterface<HandshakeCase> {};

TEST_P(WebServerHandshake, AcceptsOnlyThisComputersOwnPage) {
    const HandshakeCase& c = GetParam();
    auto client = connectClient(c.host, c.origin);
    EXPECT_EQ(client != nullptr, c.accepted);
    if (c.accepted) {
        EXPECT_EQ(client->receive(timeoutMs), fullState);
    } else {
        EXPECT_EQ(fullStateRequests.load(), 0);
        EXPECT_EQ(server->clientCount(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, WebServerHandshake,
    ::testing::Values(
        HandshakeCase{"ToolWithoutOrigin", "127.0.0.1:8080", std::nullopt, true},
        HandshakeCase{"OwnPage", "localhost:8080", std::string("http://localhost:8080"), true},
        HandshakeCase{"ForeignPage", "localhost:8080", std::string("http://evil.example"), false},
        HandshakeCase{"ReboundName", "evil.example:8080", std::string("http://evil.example:8080"),
                      false},
        HandshakeCase{"OtherPort", "localhost:9090", std::nullopt, false}),
    [](const ::testing::TestParamInfo<HandshakeCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(WebServerTest, ServesPagesWhileManyBrowsersAreConnected) {
    std::vector<std::unique_ptr<WsClient>> clients;
    for (int i = 0; i < 20; ++i) {
        clients.push_back(readyClient());
        ASSERT_TRUE(clients.back()) << "client " << i;
    }
    std::optional<testsupport::HttpResponse> page;
    lab.inNamespace(ns, [&] { page = testsupport::httpGet("127.0.0.1", port, "/index.html"); });
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->body, "<html>lanfinder</html>");
    server->onCacheUpdated("all");
    for (auto& client : clients) {
        EXPECT_EQ(client->receive(timeoutMs), "all");
    }
}

TEST_F(WebServerTest, RefusesBrowsersBeyondTheCapAndStillServesPages) {
    std::vector<std::unique_ptr<WsClient>> clients;
    for (int i = 0; i < WebServer::maxClients; ++i) {
        clients.push_back(connectClient());
        ASSERT_TRUE(clients.back()) << "client " << i;
    }
    EXPECT_FALSE(connectClient());
    std::optional<testsupport::HttpResponse> page;
    lab.inNamespace(ns, [&] { page = testsupport::httpGet("127.0.0.1", port, "/index.html"); });
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    // A place freed is a place taken again.
    clients.back()->close();
    ASSERT_TRUE(testsupport::waitFor(
        [&] { return server->clientCount() == WebServer::maxClients - 1u; }, timeoutMs));
    EXPECT_TRUE(connectClient());
}

TEST_F(WebServerTest, BrowsersConnectingAtOnceStayWithinTheCap) {
    // Handshakes under way count: otherwise all of them pass the check before
    // any becomes ready.
    constexpr int attempts = WebServer::maxClients + 8;
    std::vector<std::unique_ptr<WsClient>> clients(attempts);
    std::vector<std::thread> threads;
    for (int i = 0; i < attempts; ++i) {
        threads.emplace_back([&, i] { clients[i] = connectClient(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    int accepted = 0;
    for (const auto& client : clients) {
        accepted += client ? 1 : 0;
    }
    EXPECT_EQ(accepted, WebServer::maxClients);
    EXPECT_TRUE(testsupport::waitFor(
        [&] { return server->clientCount() == std::size_t(WebServer::maxClients); }, timeoutMs));
    std::optional<testsupport::HttpResponse> page;
    lab.inNamespace(ns, [&] { page = testsupport::httpGet("127.0.0.1", port, "/index.html"); });
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
}

TEST_F(WebServerTest, RefusesDirectoryListings) {
    QDir(root.path()).mkdir("sub");
    std::optional<testsupport::HttpResponse> page;
    lab.inNamespace(ns, [&] { page = testsupport::httpGet("127.0.0.1", port, "/sub/"); });
    ASSERT_TRUE(page);
    EXPECT_NE(page->status, 200);
}

TEST_F(WebServerTest, AStalledBrowserDoesNotHoldUpTheOthers) {
    auto stalled = readyClient();  // never reads again
    auto reader = readyClient();
    ASSERT_TRUE(stalled && reader);
    const QByteArray diff(512 * 1024, 'd');
    QElapsedTimer timer;
    timer.start();
    constexpr int diffs = 40;
    int received = 0;
    for (int i = 0; i < diffs; ++i) {
        server->onCacheUpdated(diff);
        if (reader->receive(timeoutMs).has_value()) {
            ++received;
        }
    }
    EXPECT_EQ(received, diffs);
    EXPECT_LT(timer.elapsed(), 20000);
}

// The full state of a large fleet is bigger than the backlog a browser may
// leave unread; it is sent, and so are the diffs queued right behind it
// before the sender thread took it (the diffs that came while the state was
// built are queued at once after it).
TEST_F(WebServerTest, AFrameBeyondTheBacklogLimitReachesABrowserThatReads) {
    auto reader = readyClient();
    ASSERT_TRUE(reader);
    const QByteArray large(static_cast<int>(WebClient::maxQueuedBytes) + 1024, 'f');
    server->onCacheUpdated(large);
    server->onCacheUpdated("right behind");
    const auto received = reader->receive(30000);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->size(), static_cast<std::size_t>(large.size()));
    EXPECT_EQ(reader->receive(timeoutMs), "right behind");
    server->onCacheUpdated("after");
    EXPECT_EQ(reader->receive(timeoutMs), "after");
}

// A browser that lets more pile up than the backlog limit is dropped; when
// it reads again it finds, after what was already on its way, the close that
// makes the page connect again and start over.
TEST_F(WebServerTest, ABrowserDroppedForNotReadingIsToldToTryAgainLater) {
    auto stalled = readyClient();
    ASSERT_TRUE(stalled);
    // The first megabytes fill the connection's buffers and hold the sender
    // in its write; the rest pile up behind it, past the limit.
    const QByteArray diff(1024 * 1024, 'd');
    constexpr int diffs = 96;
    for (int i = 0; i < diffs; ++i) {
        server->onCacheUpdated(diff);
    }
    int received = 0;
    while (stalled->receive(timeoutMs)) {
        ++received;
    }
    EXPECT_TRUE(stalled->closed());
    EXPECT_EQ(stalled->closeCode(), WebClient::closeTryAgainLater);
    EXPECT_LT(received, diffs);
    // Nothing more is queued for it, and the others are still served.
    auto other = readyClient();
    ASSERT_TRUE(other);
    server->onCacheUpdated("after");
    EXPECT_EQ(other->receive(timeoutMs), "after");
}

TEST_F(WebServerTest, AFloodingBrowserDoesNotStarveTheOthers) {
    auto flooder = readyClient();
    auto polite = readyClient();
    ASSERT_TRUE(flooder && polite);
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(flooder->sendText("flood"));
    }
    ASSERT_TRUE(polite->sendText("polite"));
    ASSERT_TRUE(testsupport::waitFor(
        [&] {
            for (const auto& m : messagesSoFar()) {
                if (m.second == "polite") {
                    return true;
                }
            }
            return false;
        },
        timeoutMs));
    // The flood is slowed down, not lost: it is still being delivered.
    EXPECT_LT(messagesSoFar().size(), 301u);
}
