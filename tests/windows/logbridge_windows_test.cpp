// logbridge's Windows parts: the log folder under %LOCALAPPDATA% and the
// file named after the program without program_invocation_short_name.
#include <gtest/gtest.h>
#include <logbridge/p7.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

// Restores LOCALAPPDATA however the test ends.
class local_app_data {
public:
    local_app_data() {
        const DWORD size = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
        if (size > 0) {
            saved_.resize(size);
            saved_.resize(GetEnvironmentVariableW(L"LOCALAPPDATA", saved_.data(), size));
            had_ = true;
        }
    }
    ~local_app_data() { SetEnvironmentVariableW(L"LOCALAPPDATA", had_ ? saved_.c_str() : nullptr); }
    void set(const wchar_t* value) { SetEnvironmentVariableW(L"LOCALAPPDATA", value); }

private:
    std::wstring saved_;
    bool had_ = false;
};

TEST(LogbridgeWindows, TheFolderIsUnderLocalAppData) {
    local_app_data guard;
    guard.set(L"C:\\Users\\plant\\AppData\\Local");
    EXPECT_EQ(p7::default_folder(), L"C:\\Users\\plant\\AppData\\Local\\lanfinder\\logs");
    guard.set(nullptr);
    EXPECT_EQ(p7::default_folder(), L"");
}

TEST(LogbridgeWindows, TheFileIsNamedAfterTheProgram) {
    const fs::path folder = fs::temp_directory_path() / "logbridge-windows-test";
    fs::remove_all(folder);
    ASSERT_EQ(p7::set_text_file(2, folder.wstring(), 1), 0);
    ASSERT_EQ(p7::deliver(2, __LINE__, __FILE__, "test", "a line for the file"), 0);
    // Critical lines are flushed at once; the wait covers a slow file system.
    const fs::path file = folder / "beacon_windows_tests.log";
    std::string text;
    for (int i = 0; i < 200 && text.find("a line for the file") == std::string::npos; ++i) {
        std::ifstream in(file);
        std::stringstream all;
        all << in.rdbuf();
        text = all.str();
        if (text.find("a line for the file") == std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    EXPECT_NE(text.find("a line for the file"), std::string::npos) << file.string();
}

}  // namespace
