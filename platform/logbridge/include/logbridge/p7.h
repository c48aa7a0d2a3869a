#pragma once

// logbridge: thread-safe text log files. No call ever throws to its caller.

#include <string>

// liblogbridge.so is shared so that the program and libbeacon.so use one
// logger state per process.
#if defined(_WIN32)
#if defined(logbridge_EXPORTS)
#define LOGBRIDGE_EXPORT __declspec(dllexport)
#else
#define LOGBRIDGE_EXPORT __declspec(dllimport)
#endif
#else
#define LOGBRIDGE_EXPORT __attribute__((visibility("default")))
#endif

namespace p7 {

// Levels used by callers: 0 debug/info, 1 warning, 2 critical/fatal.

// Records one message with its level and source location. The text is
// written as given (never read as a format string). Returns 0 when written.
LOGBRIDGE_EXPORT int deliver(int level, int line, const char* file, const char* function,
                             const std::string& text);

// Starts writing text files into folder (created when missing): each file
// holds at most max_file_size_mb megabytes, at most max_files are kept.
// Returns 0 on success, else an errno-style error number.
LOGBRIDGE_EXPORT int set_text_file(int max_files, const std::wstring& folder, int max_file_size_mb);

// Switches delivery on or off; records at flush_level or above are flushed
// to disk at once. Returns 0.
LOGBRIDGE_EXPORT int status(bool enabled, int flush_level);

#if defined(_WIN32)
// Where a program's log files go on Windows: %LOCALAPPDATA%\lanfinder\logs,
// or an empty text when LOCALAPPDATA is not set.
LOGBRIDGE_EXPORT std::wstring default_folder();
#endif

}  // namespace p7
