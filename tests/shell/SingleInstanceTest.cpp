#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <QVector>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "QtWait.h"
#include "shell/SingleInstance.h"

namespace {

QString uniqueId() {
    return "com.vostrel.test." + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Runs sendMessage on a thread of its own (as a second process would) while
// the main thread keeps serving the running instance's events.
struct SendResult {
    bool delivered = false;
    bool primary = false;
    qint64 elapsedMs = 0;
};

SendResult sendFromAnotherThread(const QString& id, const QString& text, int timeoutMs) {
    SendResult result;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        SingleInstance second(id);
        QElapsedTimer timer;
        timer.start();
        result.delivered = second.sendMessage(text, timeoutMs);
        result.elapsedMs = timer.elapsed();
        result.primary = second.isPrimary();
        done = true;
    });
    testsupport::pumpUntil([&] { return done.load(); }, timeoutMs + 5000);
    sender.join();
    QCoreApplication::processEvents();
    return result;
}

// Each case gets a temp folder and a home of its own and no runtime folder,
// so the folder the instance picks is the case's to arrange.
class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        saved = {qgetenv("TMPDIR"), qgetenv("HOME"), qgetenv("XDG_RUNTIME_DIR")};
        hadRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
        QDir(root.path()).mkpath("tmp");
        QDir(root.path()).mkpath("home");
        qputenv("TMPDIR", tmp().toLocal8Bit());
        qputenv("HOME", home().toLocal8Bit());
        qunsetenv("XDG_RUNTIME_DIR");
    }
    void TearDown() override {
        qputenv("TMPDIR", saved[0]);
        qputenv("HOME", saved[1]);
        if (hadRuntime) {
            qputenv("XDG_RUNTIME_DIR", saved[2]);
        } else {
            qunsetenv("XDG_RUNTIME_DIR");
        }
    }

public:
    QString tmp() const { return root.path() + "/tmp"; }
    QString home() const { return root.path() + "/home"; }
    QString ours() const { return QStringLiteral("lanfinder-%1").arg(::geteuid()); }

protected:
    const QString id = uniqueId();
    QTemporaryDir root;
    QVector<QByteArray> saved;
    bool hadRuntime = false;
};

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST_F(SingleInstanceTest, FirstStartBecomesTheRunningInstance) {
    SingleInstance first(id);
    EXPECT_FALSE(first.sendMessage("LNF Instance Started", 5000));
    EXPECT_TRUE(first.isPrimary());
    EXPECT_FALSE(first.isRunning());
    EXPECT_TRUE(QFile::exists(first.lockFilePath()));
    const QString folder = tmp() + "/" + ours();
    EXPECT_EQ(first.lockFilePath(), folder + "/" + id + ".lock");
    EXPECT_EQ(first.serverName(), folder + "/" + id + ".socket");
    EXPECT_EQ(modeOf(folder), 0700u);
}

// How the folder of the lock and the socket is chosen.
struct FolderRow {
    const char* what;
    // Arranges the case; returns the folder the instance must pick.
    std::function<QString(const SingleInstanceTest&)> arrange;
};

class FolderChoice : public SingleInstanceTest, public ::testing::WithParamInterface<FolderRow> {};

TEST_P(FolderChoice, OnlyAPrivateFolderOfOursIsUsed) {
    const QString expected = GetParam().arrange(*this);
    SingleInstance first(id);
    EXPECT_FALSE(first.isRunning());
    EXPECT_EQ(QFileInfo(first.lockFilePath()).path(), expected);
    EXPECT_EQ(modeOf(expected), 0700u);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderChoice,
    ::testing::Values(FolderRow{"PrivateRuntimeFolder",
                                [](const SingleInstanceTest& t) {
                                    const QString runtime = t.home() + "/run";
                                    ::mkdir(QFile::encodeName(runtime).constData(), 0700);
                                    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
                                    return runtime;
                                }},
                      FolderRow{"LooseRuntimeFolderIsPassedOverUnchanged",
                                [](const SingleInstanceTest& t) {
                                    const QString runtime = t.home() + "/run";
                                    ::mkdir(QFile::encodeName(runtime).constData(), 0700);
                                    ::chmod(QFile::encodeName(runtime).constData(), 0755);
                                    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
                                    return t.tmp() + "/" + t.ours();
                                }},
                      FolderRow{"RelativeRuntimeFolderIsPassedOver",
                                [](const SingleInstanceTest& t) {
                                    qputenv("XDG_RUNTIME_DIR", "run");
                                    return t.tmp() + "/" + t.ours();
                                }},
                      FolderRow{"OwnLooseTempFolderIsTightened",
                                [](const SingleInstanceTest& t) {
                                    const QString folder = t.tmp() + "/" + t.ours();
                                    ::mkdir(QFile::encodeName(folder).constData(), 0700);
                                    ::chmod(QFile::encodeName(folder).constData(), 0777);
                                    return folder;
                                }},
                      FolderRow{"LinkInPlaceOfTheTempFolderIsNotFollowed",
                                [](const SingleInstanceTest& t) {
                                    const QString target = t.home() + "/elsewhere";
                                    ::mkdir(QFile::encodeName(target).constData(), 0700);
                                    QFile::link(target, t.tmp() + "/" + t.ours());
                                    return t.home() + "/." + t.ours();
                                }}),
    [](const auto& info) { return std::string(info.param.what); });

// Plays another local user who got there first: owns the folder the
// instance would use, holds a live lock in it and listens on the socket,
// acknowledging every message the way a running instance does.
class Squatter {
public:
    // Makes folder (as the other user) unless it is empty.
    Squatter(const QString& folder, const QString& lock, const QString& socket) {
        const QByteArray dir = QFile::encodeName(folder);
        const QByteArray socketPath = QFile::encodeName(socket);
        const QByteArray lockPath = QFile::encodeName(lock);
        int ready[2];
        if (::pipe(ready) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            serve(dir, lockPath, socketPath, ready[1]);
        }
        ::close(ready[1]);
        char byte = 0;
        m_ready = m_pid > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~Squatter() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Squatter(const Squatter&) = delete;
    Squatter& operator=(const Squatter&) = delete;

    bool ready() const { return m_ready; }

private:
    static constexpr uid_t otherUser = 65534;

    // Only async-signal-safe calls: the child of a threaded process.
    [[noreturn]] static void serve(const QByteArray& dir, const QByteArray& lockPath,
                                   const QByteArray& socketPath, int ready) {
        ::alarm(30);  // never outlives a stuck test
        const bool made = dir.isEmpty() || (::mkdir(dir.constData(), 0755) == 0 &&
                                            ::chown(dir.constData(), otherUser, otherUser) == 0);
        if (!made || ::setresgid(otherUser, otherUser, otherUser) != 0 ||
            ::setresuid(otherUser, otherUser, otherUser) != 0) {
            ::_exit(2);
        }
        const int lock = ::open(lockPath.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        char pid[32];
        int length = 0;
        for (pid_t n = ::getpid(); n > 0; n /= 10) {
            pid[length++] = static_cast<char>('0' + n % 10);
        }
        for (int i = 0; i < length / 2; ++i) {
            std::swap(pid[i], pid[length - 1 - i]);
        }
        pid[length++] = '\n';
        if (lock < 0 || ::write(lock, pid, static_cast<size_t>(length)) != length) {
            ::_exit(3);
        }
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, socketPath.constData(),
                    std::min<size_t>(socketPath.size(), sizeof address.sun_path - 1));
        if (server < 0 || ::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) ||
            ::chmod(socketPath.constData(), 0777) != 0 || ::listen(server, 8) != 0) {
            ::_exit(4);
        }
        char byte = 1;
        if (::write(ready, &byte, 1) != 1) {
            ::_exit(5);
        }
        for (;;) {
            const int peer = ::accept(server, nullptr, nullptr);
            char buffer[256];
            if (peer >= 0 && ::read(peer, buffer, sizeof buffer) > 0) {
                const char ack = 'A';
                (void)!::write(peer, &ack, 1);
            }
            ::close(peer);
        }
    }

    pid_t m_pid = -1;
    bool m_ready = false;
};

TEST_F(SingleInstanceTest, AnotherUsersLockAndSocketDoNotStopAStart) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "playing another user needs root";
    }
    // The other user must reach the shared temp folder, as in /tmp.
    ::chmod(QFile::encodeName(root.path()).constData(), 0755);
    ::chmod(QFile::encodeName(tmp()).constData(), 01777);
    const QString squatted = tmp() + "/" + ours();
    Squatter squatter(squatted, squatted + "/" + id + ".lock", squatted + "/" + id + ".socket");
    ASSERT_TRUE(squatter.ready());
    // Also where earlier versions looked: fixed names in the shared folder.
    Squatter legacy(QString(), tmp() + "/" + id + "-root.lock", tmp() + "/" + id + "-root");
    ASSERT_TRUE(legacy.ready());
    {
        // The squatter does answer like a running instance...
        QLocalSocket socket;
        socket.connectToServer(squatted + "/" + id + ".socket");
        ASSERT_TRUE(socket.waitForConnected(5000));
    }

    // ...but it is not asked: this start becomes the running instance.
    SingleInstance start(id);
    EXPECT_FALSE(start.sendMessage("LNF Instance Started", 2000));
    EXPECT_TRUE(start.isPrimary());
    EXPECT_FALSE(start.lockFilePath().startsWith(squatted + "/"));
    EXPECT_EQ(QFileInfo(start.lockFilePath()).path(), home() + "/." + ours());
}

TEST_F(SingleInstanceTest, SecondStartDeliversItsMessageToTheFirst) {
    SingleInstance first(id);
    ASSERT_FALSE(first.isRunning());
    QStringList received;
    QObject::connect(&first, &SingleInstance::messageReceived,
                     [&](const QString& m) { received << m; });

    const SendResult result = sendFromAnotherThread(id, "LNF Instance Started", 5000);
    EXPECT_TRUE(result.delivered);
    EXPECT_FALSE(result.primary);
    EXPECT_LT(result.elapsedMs, 5000);
    testsupport::pumpUntil([&] { return !received.isEmpty(); }, 2000);
    EXPECT_EQ(received, QStringList{"LNF Instance Started"});
}

TEST_F(SingleInstanceTest, MessagesArriveUnchangedAndOneByOne) {
    SingleInstance first(id);
    ASSERT_FALSE(first.isRunning());
    QStringList received;
    QObject::connect(&first, &SingleInstance::messageReceived,
                     [&](const QString& m) { received << m; });
    const QString odd = QStringLiteral("100% ünïcode\nsecond line");
    EXPECT_TRUE(sendFromAnotherThread(id, odd, 5000).delivered);
    EXPECT_TRUE(sendFromAnotherThread(id, QString(), 5000).delivered);
    testsupport::pumpUntil([&] { return received.size() == 2; }, 2000);
    EXPECT_EQ(received, (QStringList{odd, QString()}));
}

TEST_F(SingleInstanceTest, NextStartTakesOverOnceTheFirstHasEnded) {
    QString lockPath;
    {
        SingleInstance first(id);
        ASSERT_FALSE(first.isRunning());
        lockPath = first.lockFilePath();
    }
    EXPECT_FALSE(QFile::exists(lockPath));
    SingleInstance next(id);
    EXPECT_FALSE(next.sendMessage("LNF Instance Started", 5000));
    EXPECT_TRUE(next.isPrimary());
}

TEST_F(SingleInstanceTest, LiveOwnerThatNeverAnswersTimesOutWithoutTakingOver) {
    // A lock held by this (live) process, with nobody listening.
    SingleInstance probe(id);
    QLockFile foreignLock(probe.lockFilePath());
    ASSERT_TRUE(foreignLock.tryLock(0));

    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(probe.sendMessage("LNF Instance Started", 400));
    const qint64 elapsed = timer.elapsed();
    EXPECT_GE(elapsed, 400);
    EXPECT_LT(elapsed, 3000);
    EXPECT_FALSE(probe.isPrimary());
    EXPECT_TRUE(probe.isRunning());
}

TEST_F(SingleInstanceTest, LockAndSocketLeftByAKilledInstanceDoNotBlock) {
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {"--hold-instance", id});
    ASSERT_TRUE(holder.waitForStarted(5000));
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readAllStandardOutput().trimmed(), "primary");

    {
        // While the holder lives it is the running instance.
        SingleInstance probe(id);
        EXPECT_TRUE(probe.isRunning());
    }

    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(5000));
    SingleInstance probe(id);
    ASSERT_TRUE(QFile::exists(probe.lockFilePath())) << "a killed owner leaves its lock";

    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(probe.sendMessage("LNF Instance Started", 5000));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_TRUE(probe.isPrimary());

    // And its socket listens again despite the stale socket file.
    QStringList received;
    QObject::connect(&probe, &SingleInstance::messageReceived,
                     [&](const QString& m) { received << m; });
    EXPECT_TRUE(sendFromAnotherThread(id, "after the crash", 5000).delivered);
    testsupport::pumpUntil([&] { return !received.isEmpty(); }, 2000);
    EXPECT_EQ(received, QStringList{"after the crash"});
}

TEST_F(SingleInstanceTest, OversizedOrSilentPeersNeitherDeliverNorBlockOthers) {
    SingleInstance first(id);
    ASSERT_FALSE(first.isRunning());
    QStringList received;
    QObject::connect(&first, &SingleInstance::messageReceived,
                     [&](const QString& m) { received << m; });

    // A peer announcing 16 MiB is dropped at once.
    std::atomic<bool> oversizedClosed{false};
    std::thread oversized([&] {
        QLocalSocket socket;
        socket.connectToServer(first.serverName());
        if (!socket.waitForConnected(5000)) {
            return;
        }
        const char head[4] = {0x01, 0x00, 0x00, 0x00};
        socket.write(head, 4);
        socket.write(QByteArray(1024, 'x'));
        socket.waitForBytesWritten(5000);
        oversizedClosed =
            socket.waitForDisconnected(5000) || socket.state() == QLocalSocket::UnconnectedState;
    });
    // A peer that connects and says nothing.
    QLocalSocket silent;
    silent.connectToServer(first.serverName());
    ASSERT_TRUE(silent.waitForConnected(5000));

    EXPECT_TRUE(sendFromAnotherThread(id, "still heard", 5000).delivered);
    testsupport::pumpUntil([&] { return oversizedClosed.load() && !received.isEmpty(); }, 5000);
    oversized.join();
    EXPECT_TRUE(oversizedClosed.load());
    EXPECT_EQ(received, QStringList{"still heard"});
}

TEST_F(SingleInstanceTest, OtherIdsAreIndependent) {
    SingleInstance first(id);
    ASSERT_FALSE(first.isRunning());
    SingleInstance other(uniqueId());
    EXPECT_FALSE(other.isRunning());
    EXPECT_TRUE(other.isPrimary());
}

}  // namespace
