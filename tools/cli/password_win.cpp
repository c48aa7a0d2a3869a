#include <windows.h>

#include <atomic>

#include "options.h"
#include "password.h"

namespace cli {
namespace {

constexpr std::size_t most_characters = 4096;

// Ctrl-C at the prompt must not leave the console without echo.
std::atomic<HANDLE> console_input{INVALID_HANDLE_VALUE};
std::atomic<DWORD> saved_mode{0};

BOOL WINAPI restore_on_break(DWORD) {
    const HANDLE input = console_input.load();
    if (input != INVALID_HANDLE_VALUE) {
        SetConsoleMode(input, saved_mode.load());
    }
    return FALSE;  // the default handler ends the program
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// The console itself, as /dev/tty is on Linux: standard input may be a pipe.
struct console_handle {
    HANDLE handle;
    explicit console_handle(const wchar_t* name)
        : handle(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~console_handle() {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
    console_handle(const console_handle&) = delete;
    console_handle& operator=(const console_handle&) = delete;
};

}  // namespace

std::string prompt_password(const std::string& prompt) {
    const console_handle input(L"CONIN$");
    const console_handle output(L"CONOUT$");
    DWORD mode = 0;
    if (input.handle == INVALID_HANDLE_VALUE || !GetConsoleMode(input.handle, &mode)) {
        throw usage_error("no terminal to ask for the password: use --password-stdin");
    }
    saved_mode = mode;
    console_input = input.handle;
    SetConsoleCtrlHandler(restore_on_break, TRUE);
    SetConsoleMode(input.handle, (mode | ENABLE_LINE_INPUT) & ~DWORD{ENABLE_ECHO_INPUT});
    if (output.handle != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteConsoleA(output.handle, prompt.data(), static_cast<DWORD>(prompt.size()), &written,
                      nullptr);
    }
    std::wstring line;
    wchar_t c = 0;
    DWORD read = 0;
    while (line.size() < most_characters && ReadConsoleW(input.handle, &c, 1, &read, nullptr) &&
           read == 1 && c != L'\n') {
        line.push_back(c);
    }
    SetConsoleMode(input.handle, mode);
    SetConsoleCtrlHandler(restore_on_break, FALSE);
    console_input = INVALID_HANDLE_VALUE;
    if (output.handle != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteConsoleA(output.handle, "\r\n", 2, &written, nullptr);  // the Enter not echoed
    }
    if (!line.empty() && line.back() == L'\r') {
        line.pop_back();
    }
    return utf8(line);
}

}  // namespace cli
