#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "TextFile.h"

using testsupport::readText;
using testsupport::waitForText;
using testsupport::writeText;

namespace {

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "/textfile-" + std::to_string(::getpid());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string dir_;
};

TEST_F(TextFileTest, WrittenTextReadsBackWholeAndAMissingFileReadsEmpty) {
    const std::string path = dir_ + "/settings";
    writeText(path, "line one\n{\"a\": 1}\n");
    EXPECT_EQ(readText(path), "line one\n{\"a\": 1}\n");
    writeText(path, "");
    EXPECT_EQ(readText(path), "");
    EXPECT_EQ(readText(dir_ + "/not-there"), "");
}

TEST_F(TextFileTest, WaitsForALineAnotherProgramWritesLater) {
    const std::string log = dir_ + "/sim.log";
    std::thread writer([&] {
        std::ofstream out(log);
        out << "lanfinder-sim: starting\n" << std::flush;
        out << "lanfinder-sim: ready: 3 devices\n" << std::flush;
    });
    EXPECT_TRUE(waitForText(log, "lanfinder-sim: ready", 10000));
    writer.join();
}

TEST_F(TextFileTest, GivesUpWhenTheLineNeverComes) {
    writeText(dir_ + "/sim.log", "lanfinder-sim: starting\n");
    EXPECT_FALSE(waitForText(dir_ + "/sim.log", "lanfinder-sim: ready", 50));
    EXPECT_FALSE(waitForText(dir_ + "/not-there", "lanfinder-sim: ready", 50));
}

}  // namespace
