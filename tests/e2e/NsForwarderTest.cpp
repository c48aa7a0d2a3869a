// lanfinder-nsfwd: a TCP port inside a namespace reached through this
// machine's loopback, bytes passed unchanged both ways.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <thread>

#include "LabCheck.h"
#include "NetLab.h"
#include "TextFile.h"

using testsupport::NetLab;
using testsupport::waitFor;

namespace {

std::string forwarder() {
    return testsupport::buildDir() + "/bin/lanfinder-nsfwd";
}

// The forwarder runs in this machine's namespace (that is its job); it only
// ever listens on loopback.
class Forwarder {
public:
    Forwarder(const std::vector<std::string>& args, const std::string& log) : log_(log) {
        pid_ = fork();
        if (pid_ == 0) {
            int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            std::vector<std::string> full = {forwarder()};
            full.insert(full.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (auto& a : full) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Forwarder() {
        if (pid_ > 0 && NetLab::waitExit(pid_, 0) < 0) {
            kill(pid_, SIGTERM);
            NetLab::waitExit(pid_, 5000);
        }
        std::remove(log_.c_str());
    }
    // The port it reports listening on; 0 until it has.
    int port() const {
        std::string text = testsupport::readText(log_);
        auto at = text.find("forwarding 127.0.0.1:");
        return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + 21);
    }
    int exitStatus(int timeoutMs) const { return NetLab::waitExit(pid_, timeoutMs); }
    std::string output() const { return testsupport::readText(log_); }

private:
    std::string log_;
    pid_t pid_ = -1;
};

int connectTo(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string readSome(int fd, std::size_t want, int timeoutMs) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
            char buf[4096];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            got.append(buf, static_cast<std::size_t>(n));
        }
    }
    return got;
}

class NamespaceForwarder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!NetLab::available(&why)) {
            GTEST_SKIP() << why;
        }
        ns_ = lab_.addNamespace("pc");
        // An upper-casing echo server on the namespace's own loopback.
        lab_.inNamespace(ns_, [&] {
            listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
            ASSERT_EQ(listen(listener_, 8), 0);
            socklen_t length = sizeof a;
            getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
            innerPort_ = ntohs(a.sin_port);
        });
        server_ = std::thread([this] {
            std::vector<std::thread> sessions;
            while (!stop_) {
                pollfd p{listener_, POLLIN, 0};
                if (poll(&p, 1, 50) <= 0) {
                    continue;
                }
                int c = accept(listener_, nullptr, nullptr);
                sessions.emplace_back([c] {
                    std::string data = readSome(c, 5, 3000);
                    for (auto& ch : data) {
                        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                    }
                    (void)!write(c, data.data(), data.size());
                    close(c);
                });
            }
            for (auto& s : sessions) {
                s.join();
            }
        });
    }

    void TearDown() override {
        stop_ = true;
        if (server_.joinable()) {
            server_.join();
        }
        if (listener_ >= 0) {
            close(listener_);
        }
    }

    std::string logPath(const char* what) {
        return ::testing::TempDir() + "/" + lab_.prefix() + what + ".log";
    }

    NetLab lab_;
    std::string ns_;
    int listener_ = -1;
    int innerPort_ = 0;
    std::atomic<bool> stop_{false};
    std::thread server_;
};

}  // namespace

TEST_F(NamespaceForwarder, PassesBytesBothWaysForEachConnection) {
    Forwarder f({"--listen", "127.0.0.1:0", "--netns", ns_, "--connect",
                 "127.0.0.1:" + std::to_string(innerPort_)},
                logPath("fwd"));
    ASSERT_TRUE(waitFor([&] { return f.port() > 0; }, 5000)) << f.output();
    int a = connectTo(f.port());
    int b = connectTo(f.port());
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ASSERT_EQ(write(a, "hello", 5), 5);
    ASSERT_EQ(write(b, "world", 5), 5);
    EXPECT_EQ(readSome(a, 5, 3000), "HELLO");
    EXPECT_EQ(readSome(b, 5, 3000), "WORLD");
    close(a);
    close(b);
}

TEST_F(NamespaceForwarder, NothingListensInTheNamespaceMeansAClosedConnection) {
    Forwarder f({"--listen", "127.0.0.1:0", "--netns", ns_, "--connect", "127.0.0.1:9"},
                logPath("fwd"));
    ASSERT_TRUE(waitFor([&] { return f.port() > 0; }, 5000)) << f.output();
    int a = connectTo(f.port());
    ASSERT_GE(a, 0);
    EXPECT_EQ(readSome(a, 1, 3000), "");
    close(a);
}

TEST_F(NamespaceForwarder, RefusesToListenAnywhereButLoopback) {
    Forwarder f({"--listen", "10.1.2.3:8080", "--netns", ns_}, logPath("refused"));
    EXPECT_EQ(f.exitStatus(5000), 2);
    EXPECT_NE(f.output().find("loopback"), std::string::npos) << f.output();
}

TEST_F(NamespaceForwarder, RefusesANamespaceThatDoesNotExist) {
    Forwarder f({"--listen", "127.0.0.1:0", "--netns", lab_.prefix() + "absent", "--connect",
                 "127.0.0.1:80"},
                logPath("absent"));
    EXPECT_EQ(f.exitStatus(5000), 1);
    EXPECT_NE(f.output().find("cannot enter network namespace"), std::string::npos) << f.output();
}
