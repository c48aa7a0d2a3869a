// Hostile and numerous browsers against the real program: broken frames and
// HTTP garbage, hundreds of short connections, thirty browsers at once.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "FaultLab.h"
#include "ProcessStats.h"

using nlohmann::json;
using testsupport::NetLab;
using testsupport::openFiles;
using testsupport::statusNumber;
using testsupport::waitFor;
using testsupport::WsClient;

namespace {

// Sends raw bytes on a fresh TCP connection and reads until the server
// closes it or timeoutMs passes. Returns what came back.
std::string rawExchange(std::uint16_t port, const std::string& bytes, int timeoutMs) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char buffer[4096];
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                continue;
            }
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return answer;
}

class BrowserFaults : public fault::LanfinderFault {
protected:
    WsClient::Options wsOptions() const {
        WsClient::Options o;
        o.port = static_cast<std::uint16_t>(port_);
        o.hostHeader = "localhost:" + std::to_string(port_);
        return o;
    }

    // The steady browser is still served: a request is answered and its
    // effect reaches it as a diff.
    void expectServed(e2e::BrowserView& b, const std::string& id, bool favourite) {
        EXPECT_TRUE(setFavorite(b, id, favourite));
        EXPECT_TRUE(b.waitUntil([&] { return deviceHas(b, id, "isFavorite", favourite); }, 5000));
        EXPECT_EQ(NetLab::waitExit(app_, 0), -1) << "lanfinder ended\n" << diagnostics();
    }
};

}  // namespace

TEST_F(BrowserFaults, BrokenFramesAndHttpGarbageLeaveTheProgramAndOtherBrowsersServed) {
    startSim();
    auto& b = connectWithDevices(startApp(), 3);
    const std::string id = anyDeviceId(b);

    // Messages that are not requests: no answer, the sender stays connected.
    lab_.inNamespace(pc_, [&] {
        WsClient bad;
        ASSERT_TRUE(bad.connect(wsOptions()));
        ASSERT_TRUE(bad.receive(10000));
        const std::vector<std::string> notRequests = {
            "not json",
            "{",
            "[]",
            "null",
            R"({"reqType":5})",
            R"({"reqType":"SetFavorite"})",
            R"({"reqType":"SetFavorite","reqId":"x","deviceId":[],"isFavorite":"yes"})",
            std::string("\xff\xfe\x00\x01", 4)};
        for (const std::string& text : notRequests) {
            ASSERT_TRUE(bad.sendText(text));
        }
        ASSERT_TRUE(bad.sendBinary(std::string(1000, '\x01')));
        ASSERT_TRUE(bad.sendFrame(WsClient::Ping, "are you there"));
        auto answer = bad.receiveUntil(
            [](const std::string& m) { return m.find("\"status\"") != std::string::npos; }, 1500);
        EXPECT_FALSE(answer) << *answer;
        EXPECT_FALSE(bad.closed());

        // More than 64 KiB in one message: this browser is closed with 1009.
        WsClient huge;
        ASSERT_TRUE(huge.connect(wsOptions()));
        ASSERT_TRUE(huge.receive(10000));
        ASSERT_TRUE(huge.sendText(std::string(64 * 1024 + 100, '{')));
        EXPECT_TRUE(huge.waitClosed(10000));
        EXPECT_EQ(huge.closeCode(), 1009);

        // A frame with a reserved opcode, and a fragment never finished.
        WsClient odd;
        ASSERT_TRUE(odd.connect(wsOptions()));
        ASSERT_TRUE(odd.sendFrame(3, "reserved"));
        WsClient unfinished;
        ASSERT_TRUE(unfinished.connect(wsOptions()));
        ASSERT_TRUE(unfinished.sendFrame(WsClient::Text, "{\"reqType\":", false));
        unfinished.abort();

        // HTTP garbage, an endless header line, a broken upgrade.
        const auto port = static_cast<std::uint16_t>(port_);
        rawExchange(port, std::string("\x00\xff\x13garbage\r\n\r\n", 14), 1000);
        rawExchange(port, "GET / HTTP/9.9\r\nHost: x\r\n\r\n", 1000);
        rawExchange(port, "GET /" + std::string(100000, 'a') + " HTTP/1.1\r\n\r\n", 1000);
        const std::string upgrade =
            rawExchange(port,
                        "GET /ws HTTP/1.1\r\nHost: localhost:" + std::to_string(port_) +
                            "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                            "Sec-WebSocket-Version: 13\r\n\r\n",
                        1000);
        EXPECT_EQ(upgrade.find("101"), std::string::npos) << upgrade;
        rawExchange(port, "POST /ws HTTP/1.1\r\nContent-Length: 99999999\r\n\r\nabc", 500);

        // The page is still served to a newcomer.
        auto page = testsupport::httpGet("127.0.0.1", port, "/", 5000,
                                         "localhost:" + std::to_string(port_));
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 200);
        EXPECT_FALSE(bad.closed());
    });

    expectServed(b, id, true);
    EXPECT_TRUE(waitFor(
        [&] { return appLogText().find("Json parsing failed") != std::string::npos; }, 5000))
        << diagnostics();
}

TEST_F(BrowserFaults, TwoHundredShortConnectionsLeaveNoThreadsOrFilesBehind) {
    startSim();
    auto& b = connectWithDevices(startApp(), 3);
    const std::string id = anyDeviceId(b);
    // The reachability probes of new devices come and go; counts are taken
    // once the steady browser has had the devices for a moment.
    b.drain(1500);
    const long files = openFiles(app_);
    const long threadCount = statusNumber(app_, "Threads");
    ASSERT_GT(files, 0);
    ASSERT_GT(threadCount, 0);

    int fullStates = 0;
    double worstMs = 0;
    lab_.inNamespace(pc_, [&] {
        for (int i = 0; i < 200; ++i) {
            WsClient c;
            const auto t0 = std::chrono::steady_clock::now();
            ASSERT_TRUE(c.connect(wsOptions())) << "cycle " << i << ": " << c.error();
            auto first = c.receive(10000);
            worstMs = std::max(worstMs, std::chrono::duration<double, std::milli>(
                                            std::chrono::steady_clock::now() - t0)
                                            .count());
            ASSERT_TRUE(first) << "cycle " << i;
            fullStates += json::parse(*first, nullptr, false).contains("devices");
            if (i % 2) {
                c.close();
            } else {
                c.abort();
            }
        }
    });
    EXPECT_EQ(fullStates, 200);
    EXPECT_LT(worstMs, 5000);
    RecordProperty("worstFullStateMs", static_cast<int>(worstMs));
    RecordProperty("openFilesBefore", static_cast<int>(files));
    RecordProperty("threadsBefore", static_cast<int>(threadCount));

    // Everything the short connections used is given back.
    EXPECT_TRUE(waitFor(
        [&] { return openFiles(app_) <= files && statusNumber(app_, "Threads") <= threadCount; },
        15000))
        << "files " << files << " -> " << openFiles(app_) << ", threads " << threadCount << " -> "
        << statusNumber(app_, "Threads");
    expectServed(b, id, true);
}

TEST_F(BrowserFaults, ThirtyBrowsersAtOnceAllGetTheFullStateAndEveryDiff) {
    startSim();
    connectWithDevices(startApp(), 3);
    std::vector<std::unique_ptr<e2e::BrowserView>> views;
    for (int i = 0; i < 30; ++i) {
        views.push_back(std::make_unique<e2e::BrowserView>());
        ASSERT_TRUE(views.back()->connect(lab_, pc_, port_, 10000)) << "browser " << i;
    }
    for (auto& v : views) {
        EXPECT_TRUE(v->waitUntil([&] { return allComplete(*v, 3); }, 10000));
    }
    const std::string id = anyDeviceId(*views.front());
    for (bool on : {true, false}) {
        ASSERT_TRUE(setFavorite(*views[7], id, on));
        const char* note = on ? "DeviceSetToFavorites" : "DeviceRemovedFromFavorites";
        for (std::size_t i = 0; i < views.size(); ++i) {
            auto& v = *views[i];
            EXPECT_TRUE(v.waitUntil(
                [&] { return deviceHas(v, id, "isFavorite", on) && v.hasNotification(note); },
                10000))
                << "browser " << i << " did not see " << note;
        }
    }
    // The answer went to the sender only.
    for (std::size_t i = 0; i < views.size(); ++i) {
        EXPECT_EQ(views[i]->answers.size(), i == 7 ? 2u : 0u) << "browser " << i;
    }
}
