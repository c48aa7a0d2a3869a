// The web server as a user on this computer, a user on another computer and
// an attacker meet it: who may connect, what every answer carries, and how
// many WebSockets one host may hold.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

#include "WebServerFixture.h"
#include "web/AccessToken.h"

using namespace webservertest;
using testsupport::HttpResponse;
using testsupport::NetLab;
using testsupport::WsClient;

namespace {

constexpr char pcAddress[] = "10.88.0.1";

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The server's namespace gets a second host on a card of its own; whether the
// server lets it in is the test's choice.
class WebServerFromAfar : public WebServerTest {
protected:
    void startWith(bool remote) {
        access.remote = remote;
        access.token = webaccess::newToken();
        WebServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        writeFile(root.path() + "/app.css", "body{}");
        peer = lab.addNamespace("peer");
        lab.link(ns, "eth0", std::string(pcAddress) + "/24", peer, "eth0", "10.88.0.2/24");
    }
    void SetUp() override { startWith(true); }

    std::optional<HttpResponse> request(bool fromPeer, const std::string& method,
                                        const std::string& path, const std::string& headers = {}) {
        std::optional<HttpResponse> response;
        lab.inNamespace(fromPeer ? peer : ns, [&] {
            response = testsupport::httpRequest(fromPeer ? pcAddress : "127.0.0.1", port, method,
                                                path, headers);
        });
        return response;
    }

    std::unique_ptr<WsClient> connectFromPeer(const std::string& path, const std::string& headers,
                                              int* status = nullptr) {
        auto client = std::make_unique<WsClient>();
        WsClient::Options options;
        options.host = pcAddress;
        options.port = port;
        options.path = path;
        options.origin = "http://" + std::string(pcAddress) + ":" + std::to_string(port);
        options.extraHeaders = headers;
        bool ok = false;
        lab.inNamespace(peer, [&] { ok = client->connect(options); });
        if (status) {
            *status = client->handshakeStatus();
        }
        return ok ? std::move(client) : nullptr;
    }

    std::string token() const { return access.token.toStdString(); }
    std::string cookieHeader() const {
        return "Cookie: " + std::string(webaccess::cookieName) + "=" + token() + "\r\n";
    }

    std::string peer;
};

class WebServerClosedToAfar : public WebServerFromAfar {
protected:
    void SetUp() override { startWith(false); }
};

}  // namespace

TEST_F(WebServerClosedToAfar, AnotherHostCannotEvenConnect) {
    EXPECT_FALSE(request(true, "GET", "/?token=" + token()));
    auto page = request(false, "GET", "/index.html");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
}

TEST_F(WebServerFromAfar, APageWithoutTheTokenIsForbidden) {
    auto page = request(true, "GET", "/index.html");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 403);
    EXPECT_EQ(page->body.find("lanfinder"), std::string::npos);
}

TEST_F(WebServerFromAfar, AWrongTokenIsForbidden) {
    auto page = request(true, "GET", "/?token=" + webaccess::newToken().toStdString(),
                        "Cookie: lanfinder_token=guess\r\n");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 403);
}

TEST_F(WebServerFromAfar, AnUpgradeWithoutTheTokenIsForbidden) {
    int status = 0;
    EXPECT_FALSE(connectFromPeer("/ws", {}, &status));
    EXPECT_EQ(status, 403);
    EXPECT_EQ(fullStateRequests.load(), 0);
}

TEST_F(WebServerFromAfar, TheLinkSetsACookieThatCarriesThePageAndTheWebSocket) {
    auto first = request(true, "GET", "/?token=" + token());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 303);
    EXPECT_EQ(testsupport::headerValue(*first, "Location"), "/");
    const auto cookie = testsupport::headerValue(*first, "Set-Cookie");
    ASSERT_TRUE(cookie);
    EXPECT_EQ(*cookie, webaccess::cookieFor(access.token).toStdString());

    const std::string cookieLine = "Cookie: " + cookie->substr(0, cookie->find(';')) + "\r\n";
    auto page = request(true, "GET", "/", cookieLine);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->body, "<html>lanfinder</html>");

    auto client = connectFromPeer("/ws", cookieLine);
    ASSERT_TRUE(client);
    EXPECT_EQ(client->receive(timeoutMs), fullState);
}

TEST_F(WebServerFromAfar, APageThatPassesTheTokenToItsWebSocketIsLetIn) {
    auto client = connectFromPeer("/ws?token=" + token(), {});
    ASSERT_TRUE(client);
    EXPECT_EQ(client->receive(timeoutMs), fullState);
}

TEST_F(WebServerFromAfar, OneHostHoldsAtMostItsShareOfWebSockets) {
    std::vector<std::unique_ptr<WsClient>> clients;
    for (int i = 0; i < WebServer::maxClientsPerRemoteAddress; ++i) {
        clients.push_back(connectFromPeer("/ws", cookieHeader()));
        ASSERT_TRUE(clients.back()) << "client " << i;
    }
    EXPECT_FALSE(connectFromPeer("/ws", cookieHeader()));
    // This computer's browser still gets in.
    auto local = readyClient();
    EXPECT_TRUE(local);
    // A place freed is a place taken again.
    clients.back()->close();
    const std::size_t remoteLeft = WebServer::maxClientsPerRemoteAddress - 1;
    ASSERT_TRUE(
        testsupport::waitFor([&] { return server->clientCount() == remoteLeft + 1; }, timeoutMs));
    EXPECT_TRUE(connectFromPeer("/ws", cookieHeader()));
}

struct AnswerCase {
    const char* name;
    bool fromPeer;
    std::string method;
    std::string path;
    bool withCookie;
    int status;
};

class WebServerAnswers : public WebServerFromAfar,
                         public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(WebServerAnswers, CarryTheProtectiveHeadersAndNoCorsGrant) {
    const AnswerCase& c = GetParam();
    // A foreign page's request: no answer may grant it access.
    std::string headers = "Origin: http://evil.example\r\n";
    if (c.withCookie) {
        headers += cookieHeader();
    }
    auto answer = request(c.fromPeer, c.method, c.path, headers);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, c.status);
    const auto csp = testsupport::headerValue(*answer, "Content-Security-Policy");
    ASSERT_TRUE(csp) << answer->headers;
    EXPECT_NE(csp->find("frame-ancestors 'none'"), std::string::npos);
    EXPECT_EQ(testsupport::headerValue(*answer, "X-Frame-Options"), "DENY");
    EXPECT_EQ(testsupport::headerValue(*answer, "X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(testsupport::headerValue(*answer, "Referrer-Policy"), "no-referrer");
    EXPECT_FALSE(testsupport::headerValue(*answer, "Access-Control-Allow-Origin"))
        << answer->headers;
    if (c.status == 405) {
        EXPECT_EQ(testsupport::headerValue(*answer, "Allow"), "GET, HEAD");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, WebServerAnswers,
    ::testing::Values(AnswerCase{"Page", false, "GET", "/index.html", false, 200},
                      AnswerCase{"File", false, "GET", "/app.css", false, 200},
                      AnswerCase{"Head", false, "HEAD", "/app.css", false, 200},
                      AnswerCase{"Missing", false, "GET", "/missing.html", false, 404},
                      AnswerCase{"RemotePage", true, "GET", "/index.html", true, 200},
                      AnswerCase{"RemoteMissing", true, "GET", "/missing.html", true, 404},
                      AnswerCase{"RemoteForbidden", true, "GET", "/index.html", false, 403},
                      AnswerCase{"Put", false, "PUT", "/index.html", false, 405},
                      AnswerCase{"Propfind", false, "PROPFIND", "/", false, 405},
                      AnswerCase{"Delete", false, "DELETE", "/index.html", false, 405},
                      AnswerCase{"Options", false, "OPTIONS", "/", false, 405},
                      AnswerCase{"RemotePost", true, "POST", "/", true, 405}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST_F(WebServerTest, RunsNoCgiProgramAndNoServerSideInclude) {
    writeFile(root.path() + "/run.cgi",
              "#!/bin/sh\necho Content-Type: text/plain\necho\necho ran\n");
    QFile::setPermissions(root.path() + "/run.cgi", QFile::ReadOwner | QFile::ExeOwner);
    writeFile(root.path() + "/page.shtml", "<!--#exec \"echo ran\" -->");
    for (const char* path : {"/run.cgi", "/page.shtml"}) {
        std::optional<testsupport::HttpResponse> answer;
        lab.inNamespace(ns, [&] { answer = testsupport::httpGet("127.0.0.1", port, path); });
        ASSERT_TRUE(answer) << path;
        // Served as the file it is, never its output.
        EXPECT_NE(answer->body.find("echo ran"), std::string::npos) << path << ": " << answer->body;
    }
}

namespace {

// In a child process of another user: one GET on the loopback; the status.
int statusForAnotherUser(NetLab& lab, const std::string& ns, std::uint16_t port, uid_t uid) {
    const std::string request =
        "GET /index.html HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    int status = -1;
    lab.inNamespace(ns, [&] {
        const pid_t child = ::fork();
        if (child == 0) {
            // Only async-signal-safe calls from here on: the parent has threads.
            if (::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0) {
                ::_exit(90);
            }
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address)) {
                ::_exit(91);
            }
            if (::write(fd, request.data(), request.size()) != ssize_t(request.size())) {
                ::_exit(92);
            }
            char answer[13] = {};
            std::size_t got = 0;
            while (got < 12) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, timeoutMs) != 1) {
                    ::_exit(93);
                }
                const ssize_t n = ::read(fd, answer + got, 12 - got);
                if (n <= 0) {
                    ::_exit(94);
                }
                got += std::size_t(n);
            }
            // "HTTP/1.1 403"
            ::_exit(std::memcmp(answer + 9, "403", 3) == 0   ? 3
                    : std::memcmp(answer + 9, "200", 3) == 0 ? 2
                                                             : 95);
        }
        if (child > 0) {
            status = NetLab::waitExit(child, 20000);
            if (status == -1) {
                ::kill(child, SIGKILL);
                ::waitpid(child, nullptr, 0);
            }
        }
    });
    return status;
}

}  // namespace

TEST_F(WebServerTest, ABrowserOfAnotherUserOnThisComputerIsRefused) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    EXPECT_EQ(statusForAnotherUser(lab, ns, port, 65534), 3);  // 403
}

TEST_F(WebServerTest, ABrowserOfTheSameUserIsServed) {
    EXPECT_EQ(statusForAnotherUser(lab, ns, port, ::getuid()), 2);  // 200
}
