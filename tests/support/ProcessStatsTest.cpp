#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "NetLab.h"
#include "ProcessStats.h"

using testsupport::cpuTicks;
using testsupport::cpuTicksOf;
using testsupport::openFiles;
using testsupport::statusNumber;
using testsupport::statusNumberOf;

namespace {

struct StatCase {
    const char* name;
    const char* text;
    long long ticks;
};

class CpuTicksOfStat : public ::testing::TestWithParam<StatCase> {};

TEST_P(CpuTicksOfStat, AddsUserAndSystemTimeOrSaysItCannot) {
    EXPECT_EQ(cpuTicksOf(GetParam().text), GetParam().ticks) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CpuTicksOfStat,
    ::testing::Values(
        StatCase{"plain", "1234 (cat) R 1 1234 1234 0 -1 4194304 100 0 0 0 7 3 0 0 20 0 1 0", 10},
        StatCase{"large", "9 (x) S 1 9 9 0 -1 0 0 0 0 0 8589934592 1 0 0", 8589934593LL},
        StatCase{"name with spaces and parentheses",
                 "77 (a) b (c) S 1 77 77 0 -1 0 0 0 0 0 40 2 0 0 20 0 1 0", 42},
        StatCase{"stime is the last field", "5 (y) S 1 5 5 0 -1 0 0 0 0 0 4 5", 9},
        StatCase{"stime missing", "5 (y) S 1 5 5 0 -1 0 0 0 0 0 4", -1},
        StatCase{"cut after the name", "5 (y)", -1},
        StatCase{"no name", "5 y S 1 5 5 0 -1 0 0 0 0 0 4 5", -1},
        StatCase{"empty (process gone)", "", -1}));

struct StatusCase {
    const char* key;
    long value;
};

class StatusNumberOfStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusNumberOfStatus, ReadsTheNumberOfExactlyThatKey) {
    const std::string status =
        "Name:\tlanfinder\n"
        "VmHWM:\t   52340 kB\n"
        "VmRSS:\t   48012 kB\n"
        "VmRSSExtra:\t 1 kB\n"
        "Threads:\t21\n"
        "Broken:\tkB\n"
        "Empty:\n";
    EXPECT_EQ(statusNumberOf(status, GetParam().key), GetParam().value) << GetParam().key;
}

INSTANTIATE_TEST_SUITE_P(Keys, StatusNumberOfStatus,
                         ::testing::Values(StatusCase{"VmRSS", 48012}, StatusCase{"VmHWM", 52340},
                                           StatusCase{"Threads", 21}, StatusCase{"VmRSSExtra", 1},
                                           // a key is not a prefix of a longer one
                                           StatusCase{"Vm", -1}, StatusCase{"Thread", -1},
                                           StatusCase{"Name", -1}, StatusCase{"Broken", -1},
                                           StatusCase{"Empty", -1}, StatusCase{"VmSwap", -1}));

TEST(ProcessStats, EmptyStatusHasNoNumbers) {
    EXPECT_EQ(statusNumberOf("", "VmRSS"), -1);
}

TEST(ProcessStats, ThisProcessShowsItsThreadsFilesMemoryAndTime) {
    const pid_t self = ::getpid();
    EXPECT_GT(statusNumber(self, "VmRSS"), 0);

    const long threadsBefore = statusNumber(self, "Threads");
    ASSERT_GE(threadsBefore, 1);
    std::atomic<bool> stop{false};
    std::thread extra([&] {
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    EXPECT_EQ(statusNumber(self, "Threads"), threadsBefore + 1);
    stop = true;
    extra.join();

    const long filesBefore = openFiles(self);
    ASSERT_GT(filesBefore, 0);
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(openFiles(self), filesBefore + 1);
    ::close(fd);
    EXPECT_EQ(openFiles(self), filesBefore);

    // CPU time counts in ticks: work until one more has been counted.
    const long long ticksBefore = cpuTicks(self);
    ASSERT_GE(ticksBefore, 0);
    volatile unsigned long spin = 0;
    EXPECT_TRUE(testsupport::waitFor(
        [&] {
            for (int i = 0; i < 1000000; ++i) {
                spin = spin + 1;
            }
            return cpuTicks(self) > ticksBefore;
        },
        30000));
}

TEST(ProcessStats, AProcessThatHasGoneReadsAsMinusOne) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(cpuTicks(child), -1);
    EXPECT_EQ(statusNumber(child, "VmRSS"), -1);
    EXPECT_EQ(openFiles(child), -1);
}

}  // namespace
