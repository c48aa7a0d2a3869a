#include <gtest/gtest.h>

#include <beacon/beacon.h>
#include <logbridge/p7.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "decoder_probe.h"

namespace fs = std::filesystem;

namespace {

// The logger is process-wide, so every case shares one folder set up once.
class Logbridge : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = fs::temp_directory_path() / ("logbridge-test-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        ASSERT_EQ(p7::set_text_file(3, folder_.wstring() + L"/logs", 1), 0);
        ASSERT_EQ(p7::status(true, 0), 0);
    }
    static void TearDownTestSuite() { fs::remove_all(folder_); }

    static std::string all_text() {
        std::string text;
        for (const auto& entry : fs::directory_iterator(folder_ / "logs")) {
            std::ifstream in(entry.path());
            std::stringstream buffer;
            buffer << in.rdbuf();
            text += buffer.str();
        }
        return text;
    }

    static std::size_t count(const std::string& text, const std::string& what) {
        std::size_t n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
            ++n;
        }
        return n;
    }

    static fs::path folder_;
};

fs::path Logbridge::folder_;

TEST_F(Logbridge, RecordsLevelSourceLineAndFunction) {
    EXPECT_EQ(p7::deliver(1, 321, "somefile", "some::function", "hello {} %s"), 0);
    const std::string text = all_text();
    EXPECT_NE(text.find("[warning] somefile:321 some::function: hello {} %s"), std::string::npos)
        << text;
}

TEST_F(Logbridge, EmptyDatagramIsLoggedOnceAsDiscarded) {
    beacontest::decoder_probe probe;
    const std::size_t before = count(all_text(), "Discarded network message");
    EXPECT_FALSE(probe.decode("", 0));
    const std::string text = all_text();
    EXPECT_EQ(count(text, "Discarded network message"), before + 1);
    EXPECT_NE(text.find("[warning] device_protocol:"), std::string::npos);
    EXPECT_NE(text.find("dp::device_protocol::decode: Discarded network message"),
              std::string::npos);
    EXPECT_FALSE(probe.decode(R"({"id":"x"})"));
    EXPECT_EQ(count(all_text(), "Discarded network message"), before + 1)
        << "malformed JSON is dropped without a log line";
}

TEST_F(Logbridge, NullPointersDoNotFail) {
    EXPECT_EQ(p7::deliver(0, 0, nullptr, nullptr, "no source"), 0);
    EXPECT_NE(all_text().find("no source"), std::string::npos);
}

TEST_F(Logbridge, ConcurrentWritersLoseNoLine) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 250; ++i) {
                p7::deliver(0, i, "f", "g", "concurrent-" + std::to_string(t));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    const std::string text = all_text();
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(count(text, "concurrent-" + std::to_string(t) + "\n"), 250u);
    }
}

TEST_F(Logbridge, DisabledDeliveryWritesNothing) {
    p7::status(false, 0);
    p7::deliver(2, 1, "f", "g", "while-disabled");
    p7::status(true, 0);
    EXPECT_EQ(all_text().find("while-disabled"), std::string::npos);
}

TEST_F(Logbridge, RotationKeepsAtMostMaxFiles) {
    const std::string line(1000, 'r');
    for (int i = 0; i < 4000; ++i) {
        p7::deliver(0, i, "f", "g", line);
    }
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder_ / "logs")) {
        ++files;
        EXPECT_LE(fs::file_size(entry.path()), 1024u * 1024u + 2048u);
    }
    EXPECT_EQ(files, 3u);
}

TEST_F(Logbridge, UnwritableFolderIsReportedNotThrown) {
    EXPECT_NE(p7::set_text_file(2, L"/proc/no-such-place/logs", 1), 0);
    p7::deliver(1, 1, "f", "g", "still-working");
    EXPECT_NE(all_text().find("still-working"), std::string::npos);
}

TEST_F(Logbridge, LogFilesAreTheUsersAloneWhateverTheUmask) {
    const fs::path other = folder_ / "private";
    fs::create_directories(other);
    const fs::path existing = other / (std::string(program_invocation_short_name) + ".log");
    std::ofstream(existing) << "an older, readable log\n";
    fs::permissions(existing, fs::perms(0644));

    const mode_t previous = ::umask(0);
    const int error = p7::set_text_file(3, other.wstring(), 1);
    const std::string line(1000, 'm');
    for (int i = 0; i < 2500; ++i) {  // past one rotation
        p7::deliver(0, i, "f", "g", line);
    }
    ::umask(previous);
    ASSERT_EQ(error, 0);

    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(other)) {
        ++files;
        EXPECT_EQ(fs::status(entry.path()).permissions() & fs::perms::all, fs::perms(0600))
            << entry.path();
    }
    EXPECT_GE(files, 2u) << "the rotated file counts too";
    // The other cases go on writing into the suite's folder.
    ASSERT_EQ(p7::set_text_file(3, folder_.wstring() + L"/logs", 1), 0);
}

}  // namespace
