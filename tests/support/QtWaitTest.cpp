#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <thread>

#include "QtWait.h"

using testsupport::pumpUntil;

namespace {

TEST(PumpUntil, ServesTheEventLoopWhileItWaits) {
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    EXPECT_TRUE(pumpUntil([&] { return fired; }, 10000));
}

TEST(PumpUntil, SeesWhatAnotherThreadDoesWithoutAnEvent) {
    std::atomic<bool> done{false};
    std::thread worker([&] { done = true; });
    EXPECT_TRUE(pumpUntil([&] { return done.load(); }, 10000));
    worker.join();
}

TEST(PumpUntil, GivesUpAtTheDeadline) {
    QElapsedTimer elapsed;
    elapsed.start();
    int asked = 0;
    EXPECT_FALSE(pumpUntil(
        [&] {
            ++asked;
            return false;
        },
        50));
    EXPECT_GE(elapsed.elapsed(), 50);
    EXPECT_GT(asked, 1);
}

TEST(PumpUntil, AsksNoMoreOnceItHolds) {
    int asked = 0;
    EXPECT_TRUE(pumpUntil([&] { return ++asked >= 3; }, 10000));
    EXPECT_EQ(asked, 3);
}

}  // namespace
