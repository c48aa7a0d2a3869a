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

// Critical lines are flushed at once; the wait covers a slow file system.
std::string text_when_it_holds(const fs::path& file, const std::string& line) {
    std::string text;
    for (int i = 0; i < 200 && text.find(line) == std::string::npos; ++i) {
        std::ifstream in(file);
        std::stringstream all;
        all << in.rdbuf();
        text = all.str();
        if (text.find(line) == std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    return text;
}

TEST(LogbridgeWindows, TheFileIsNamedAfterTheProgram) {
    const fs::path folder = fs::temp_directory_path() / "logbridge-windows-test";
    fs::remove_all(folder);
    ASSERT_EQ(p7::set_text_file(2, folder.wstring(), 1), 0);
    ASSERT_EQ(p7::deliver(2, __LINE__, __FILE__, "test", "a line for the file"), 0);
    const fs::path file = folder / "beacon_windows_tests.log";
    EXPECT_NE(text_when_it_holds(file, "a line for the file").find("a line for the file"),
              std::string::npos)
        << file.string();
}

// A user's profile folder is named after the user: accents, other scripts,
// and characters beyond 16 bits (surrogate pairs in UTF-16).
TEST(LogbridgeWindows, ALocalAppDataWithCharactersBeyondAsciiHoldsTheFile) {
    local_app_data guard;
    const fs::path base = fs::temp_directory_path() /
                          L"logbridge-\u017Elu\u0165ou\u010Dk\u00FD-\u6D4B\u8BD5-\U0001F600";
    fs::remove_all(base);
    guard.set(base.c_str());
    ASSERT_EQ(p7::set_text_file(2, p7::default_folder(), 1), 0);
    ASSERT_EQ(p7::deliver(2, __LINE__, __FILE__, "test", "a line under the user's name"), 0);
    const fs::path file = base / L"lanfinder" / L"logs" / L"beacon_windows_tests.log";
    EXPECT_NE(text_when_it_holds(file, "a line under the user's name")
                  .find("a line under the user's name"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(file));
    // Back to a plain folder, so the file above can go.
    const fs::path plain = fs::temp_directory_path() / "logbridge-windows-test";
    ASSERT_EQ(p7::set_text_file(2, plain.wstring(), 1), 0);
    std::error_code ignored;
    fs::remove_all(base, ignored);
}

}  // namespace
