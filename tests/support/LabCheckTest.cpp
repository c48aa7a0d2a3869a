#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "LabCheck.h"
#include "NetLab.h"
#include "TextFile.h"

using testsupport::checkLab;
using testsupport::LabCheck;
using testsupport::NetLab;

namespace {

// A bin folder with one program that runs and one file that does not.
class LabCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        bin_ = ::testing::TempDir() + "/labcheck-" + std::to_string(::getpid());
        std::filesystem::create_directories(bin_);
        testsupport::writeText(bin_ + "/runs", "#!/bin/sh\nexit 0\n");
        ::chmod((bin_ + "/runs").c_str(), 0755);
        testsupport::writeText(bin_ + "/plain", "not a program\n");
        ::chmod((bin_ + "/plain").c_str(), 0644);
        namespaces_ = NetLab::available(&whyNot_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(bin_, ignored);
    }

    std::string bin_;
    bool namespaces_ = false;
    std::string whyNot_;
};

TEST_F(LabCheckTest, WithoutNamespacesNothingElseIsAsked) {
    if (namespaces_) {
        GTEST_SKIP() << "namespaces are available here";
    }
    const LabCheck check = checkLab({"missing"}, bin_);
    EXPECT_EQ(check.outcome, LabCheck::Outcome::NoNamespaces);
    EXPECT_EQ(check.why, whyNot_);
    EXPECT_FALSE(check.ready());
    EXPECT_EQ(check.exitCode(), 77);
}

TEST_F(LabCheckTest, EveryProgramMustBeThereAndRun) {
    if (!namespaces_) {
        GTEST_SKIP() << whyNot_;
    }
    const LabCheck ready = checkLab({"runs"}, bin_);
    EXPECT_TRUE(ready.ready());
    EXPECT_EQ(ready.why, "");
    EXPECT_EQ(ready.exitCode(), 0);
    EXPECT_TRUE(checkLab({}, bin_).ready());

    const LabCheck missing = checkLab({"runs", "missing"}, bin_);
    EXPECT_EQ(missing.outcome, LabCheck::Outcome::NotBuilt);
    EXPECT_EQ(missing.why, bin_ + "/missing is not built");
    EXPECT_FALSE(missing.ready());
    EXPECT_EQ(missing.exitCode(), 1);

    const LabCheck notRunnable = checkLab({"plain", "runs"}, bin_);
    EXPECT_EQ(notRunnable.outcome, LabCheck::Outcome::NotBuilt);
    EXPECT_EQ(notRunnable.why, bin_ + "/plain is not built");
}

TEST(BuildDir, ComesFromTheEnvironmentWhenSet) {
    // ctest hands every test the build folder; the programs are in its bin/.
    const char* fromEnvironment = std::getenv("LANFINDER_BUILD_DIR");
    ASSERT_NE(fromEnvironment, nullptr);
    EXPECT_EQ(testsupport::buildDir(), fromEnvironment);
    EXPECT_TRUE(std::filesystem::is_directory(testsupport::buildDir() + "/bin"));
}

TEST(BuildDir, IsTheFolderAboveTheProgramsOwnWithoutTheEnvironment) {
    const char* saved = std::getenv("LANFINDER_BUILD_DIR");
    const std::string kept = saved ? saved : "";
    ::unsetenv("LANFINDER_BUILD_DIR");
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(testsupport::buildDir(),
              std::filesystem::path(self).parent_path().parent_path().string());
    if (saved) {
        ::setenv("LANFINDER_BUILD_DIR", kept.c_str(), 1);
    }
}

}  // namespace
