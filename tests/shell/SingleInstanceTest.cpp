#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QUuid>
#include <atomic>
#include <thread>

#include "shell/SingleInstance.h"
#include "support/NetLab.h"

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
    testsupport::waitFor(
        [&] {
            QCoreApplication::processEvents();
            return done.load();
        },
        timeoutMs + 5000);
    sender.join();
    QCoreApplication::processEvents();
    return result;
}

class SingleInstanceTest : public ::testing::Test {
protected:
    const QString id = uniqueId();
};

TEST_F(SingleInstanceTest, FirstStartBecomesTheRunningInstance) {
    SingleInstance first(id);
    EXPECT_FALSE(first.sendMessage("LNF Instance Started", 5000));
    EXPECT_TRUE(first.isPrimary());
    EXPECT_FALSE(first.isRunning());
    EXPECT_TRUE(QFile::exists(first.lockFilePath()));
    EXPECT_TRUE(first.lockFilePath().startsWith(QDir::tempPath()));
    EXPECT_TRUE(first.serverName().startsWith(id + "-"));
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
    testsupport::waitFor(
        [&] {
            QCoreApplication::processEvents();
            return !received.isEmpty();
        },
        2000);
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
    testsupport::waitFor(
        [&] {
            QCoreApplication::processEvents();
            return received.size() == 2;
        },
        2000);
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
    testsupport::waitFor(
        [&] {
            QCoreApplication::processEvents();
            return !received.isEmpty();
        },
        2000);
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
    testsupport::waitFor(
        [&] {
            QCoreApplication::processEvents();
            return oversizedClosed.load() && !received.isEmpty();
        },
        5000);
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
