#include <gtest/gtest.h>

#include <signal.h>

#include <QCoreApplication>
#include <atomic>

#include "QtWait.h"
#include "shell/SignalWatcher.h"

namespace {

std::atomic<int> g_previousHandlerCalls{0};
void previousHandler(int) {
    ++g_previousHandlerCalls;
}

class SignalWatcherTest : public ::testing::Test {
protected:
    bool waitForCount(const QList<int>& seen, int count) {
        return testsupport::pumpUntil([&] { return seen.size() >= count; }, 5000);
    }
};

TEST_F(SignalWatcherTest, EachTerminationSignalArrivesOnTheEventLoop) {
    SignalWatcher watcher;
    QList<int> seen;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, [&](int n) { seen << n; });

    ASSERT_EQ(::raise(SIGTERM), 0);
    // Nothing runs inside the handler itself.
    EXPECT_TRUE(seen.isEmpty());
    ASSERT_TRUE(waitForCount(seen, 1));

    ASSERT_EQ(::raise(SIGINT), 0);
    ASSERT_EQ(::raise(SIGHUP), 0);
    ASSERT_TRUE(waitForCount(seen, 3));
    EXPECT_EQ(seen, (QList<int>{SIGTERM, SIGINT, SIGHUP}));
}

TEST_F(SignalWatcherTest, DestructionRestoresThePreviousHandler) {
    struct sigaction mine {};
    mine.sa_handler = &previousHandler;
    sigemptyset(&mine.sa_mask);
    struct sigaction original {};
    ASSERT_EQ(::sigaction(SIGHUP, &mine, &original), 0);
    {
        SignalWatcher watcher;
        QList<int> seen;
        QObject::connect(&watcher, &SignalWatcher::terminationRequested, [&](int n) { seen << n; });
        ::raise(SIGHUP);
        ASSERT_TRUE(waitForCount(seen, 1));
        EXPECT_EQ(g_previousHandlerCalls.load(), 0);
    }
    ::raise(SIGHUP);
    EXPECT_EQ(g_previousHandlerCalls.load(), 1);
    ::sigaction(SIGHUP, &original, nullptr);
}

TEST_F(SignalWatcherTest, OnlyOneWatcherAtATime) {
    SignalWatcher first;
    EXPECT_THROW(SignalWatcher second, QString);
}

TEST_F(SignalWatcherTest, SignalsNotAskedForAreLeftAlone) {
    struct sigaction mine {};
    mine.sa_handler = &previousHandler;
    sigemptyset(&mine.sa_mask);
    struct sigaction original {};
    ASSERT_EQ(::sigaction(SIGUSR1, &mine, &original), 0);
    const int before = g_previousHandlerCalls.load();
    {
        SignalWatcher watcher({SIGTERM});
        ::raise(SIGUSR1);
        EXPECT_EQ(g_previousHandlerCalls.load(), before + 1);
    }
    ::sigaction(SIGUSR1, &original, nullptr);
}

}  // namespace
