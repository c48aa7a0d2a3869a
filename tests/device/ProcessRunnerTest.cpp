#include <gtest/gtest.h>

#include <stdexcept>

#include "device/ProcessRunner.h"

TEST(ProcessRunner, ReturnsTheExitCodeAndTheTrimmedOutputOfBothStreams) {
    const auto result =
        ProcessRunner().run("sh", {"-c", "printf '  out\\n'; printf 'err \\n' >&2; exit 3"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.output, "out\nerr");
}

TEST(ProcessRunner, ReadsOutputLargerThanOnePipeRead) {
    const auto result = ProcessRunner().run("sh", {"-c", "head -c 20000 /dev/zero | tr '\\0' x"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output.size(), 20000);
}

TEST(ProcessRunner, PassesArgumentsUnchangedWithoutAShell) {
    const auto result = ProcessRunner().run("printf", {"%s|", "a b", "$(id)"});
    EXPECT_EQ(result.output, "a b|$(id)|");
}

TEST(ProcessRunner, AProcessKilledBySignalHasExitCodeMinusOne) {
    const auto result = ProcessRunner().run("sh", {"-c", "kill -9 $$"});
    EXPECT_EQ(result.exitCode, -1);
}

TEST(ProcessRunner, AProgramThatCannotStartThrows) {
    EXPECT_THROW(ProcessRunner().run("/nonexistent/lanfinder-no-such-program", {}),
                 std::runtime_error);
}
