#include "logbridge/p7.h"

#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace p7 {
namespace {

constexpr const char* pattern = "%Y-%m-%d %H:%M:%S.%e [%l] %s:%# %!: %v";

spdlog::level::level_enum level_of(int level) {
    if (level <= 0) {
        return spdlog::level::info;
    }
    if (level == 1) {
        return spdlog::level::warn;
    }
    return spdlog::level::critical;
}

#if defined(_WIN32)
// wchar_t holds UTF-16 on Windows: a character beyond 16 bits is a pair.
std::string utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// Windows opens files by their UTF-16 names; a narrow name would be read in
// the ANSI code page, which cannot hold every user's folder name.
std::filesystem::path folder_path(const std::wstring& folder) {
    return std::filesystem::path(folder);
}
#else
// wchar_t holds UTF-32 on Linux; file names are UTF-8.
std::string utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wide : text) {
        auto c = static_cast<std::uint32_t>(wide);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::filesystem::path folder_path(const std::wstring& folder) {
    return std::filesystem::path(utf8(folder));
}
#endif

#if defined(_WIN32)
// Windows has no program_invocation_short_name: the module's file name
// without folder and ".exe".
std::string program_name() {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) {
        return {};
    }
    path.resize(length);
    return utf8(std::filesystem::path(path).stem().wstring());
}
#else
std::string program_name() {
    return program_invocation_short_name;
}
#endif

std::string file_name() {
    const std::string program = program_name();
    return (program.empty() ? std::string("logbridge") : program) + ".log";
}

// One logger per process (this library is shared on purpose). Until a file
// is set, warnings and worse go to stderr so nothing is silently lost.
class state {
public:
    state() : logger_(make_stderr_logger()) {}

    int deliver(int level, int line, const char* file, const char* function,
                const std::string& text) {
        std::shared_ptr<spdlog::logger> logger;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!enabled_) {
                return 0;
            }
            logger = logger_;
        }
        logger->log(spdlog::source_loc{file ? file : "", line, function ? function : ""},
                    level_of(level), "{}", text);
        return 0;
    }

    int set_text_file(int max_files, const std::wstring& folder, int max_file_size_mb) {
        const std::filesystem::path dir = folder_path(folder);
        std::error_code error;
        std::filesystem::create_directories(dir, error);
        if (error) {
            return error.value();
        }
        const std::size_t size_mb = max_file_size_mb > 0 ? std::size_t(max_file_size_mb) : 1;
        const std::size_t files = max_files > 0 ? std::size_t(max_files) : 1;
        // Log lines tell what the user did and with which devices: the files
        // are the user's alone (0600) whatever the umask, and an older,
        // looser file is tightened when it is opened again. Rotation renames
        // the files, which keeps their mode.
        spdlog::file_event_handlers handlers;
#if !defined(_WIN32)
        // On Windows the folder under %LOCALAPPDATA% is the user's by its ACL.
        handlers.after_open = [](const spdlog::filename_t&, std::FILE* stream) {
            ::fchmod(::fileno(stream), S_IRUSR | S_IWUSR);
        };
#endif
        auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
            (dir / std::filesystem::u8path(file_name())).native(), size_mb * 1024 * 1024, files - 1,
            false, handlers);
        auto logger = std::make_shared<spdlog::logger>("logbridge", std::move(sink));
        configure(*logger);
        std::lock_guard<std::mutex> lock(mutex_);
        logger_ = std::move(logger);
        start_flusher();
        return 0;
    }

    int status(bool enabled, int flush_level) {
        std::lock_guard<std::mutex> lock(mutex_);
        enabled_ = enabled;
        flush_level_ = level_of(flush_level);
        logger_->flush_on(flush_level_);
        return 0;
    }

private:
    // Lines below the flush level stay buffered; a crash or a kill would lose
    // them and nobody could follow the file live. Once a second is cheap and
    // keeps both. The state lives for the whole process, so the thread does too.
    void start_flusher() {
        if (flusher_started_) {
            return;
        }
        flusher_started_ = true;
        std::thread([this] {
            for (;;) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
                std::shared_ptr<spdlog::logger> logger;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    logger = logger_;
                }
                logger->flush();
            }
        }).detach();
    }

    std::shared_ptr<spdlog::logger> make_stderr_logger() {
        auto logger = std::make_shared<spdlog::logger>(
            "logbridge", std::make_shared<spdlog::sinks::stderr_sink_mt>());
        configure(*logger);
        logger->set_level(spdlog::level::warn);
        return logger;
    }

    void configure(spdlog::logger& logger) {
        logger.set_pattern(pattern);
        logger.set_level(spdlog::level::trace);
        logger.flush_on(flush_level_);
        // Logging must never throw into the caller, not even for a bad text.
        logger.set_error_handler([](const std::string&) {});
    }

    std::mutex mutex_;
    std::shared_ptr<spdlog::logger> logger_;
    bool enabled_ = true;
    bool flusher_started_ = false;
    spdlog::level::level_enum flush_level_ = spdlog::level::warn;
};

state& the_state() {
    // Never destroyed: other libraries may log from their static destructors.
    static state* instance = new state;
    return *instance;
}

}  // namespace

int deliver(int level, int line, const char* file, const char* function, const std::string& text) {
    try {
        return the_state().deliver(level, line, file, function, text);
    } catch (...) {
        return -1;
    }
}

int set_text_file(int max_files, const std::wstring& folder, int max_file_size_mb) {
    try {
        return the_state().set_text_file(max_files, folder, max_file_size_mb);
    } catch (...) {
        return EIO;
    }
}

#if defined(_WIN32)
std::wstring default_folder() {
    const DWORD size = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring base(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", base.data(), size);
    if (length == 0 || length >= size) {
        return {};
    }
    base.resize(length);
    return (std::filesystem::path(base) / L"lanfinder" / L"logs").wstring();
}
#endif

int status(bool enabled, int flush_level) {
    try {
        return the_state().status(enabled, flush_level);
    } catch (...) {
        return -1;
    }
}

}  // namespace p7
