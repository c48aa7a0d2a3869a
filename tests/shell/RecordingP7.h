#pragma once

// A recording stand-in for logbridge, linked into the shell's unit tests in
// place of the real library: it keeps every call so tests can check levels,
// texts and the thread that delivered them.

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace recording_p7 {

struct Delivery {
    int level;
    std::string function;
    std::string text;
    std::thread::id thread;
};

struct TextFileCall {
    int maxFiles;
    std::wstring folder;
    int maxFileSizeMb;
};

struct StatusCall {
    bool enabled;
    int flushLevel;
};

void reset();
std::vector<Delivery> deliveries();
// Deliveries whose text contains needle.
std::vector<Delivery> deliveriesContaining(const std::string& needle);
std::vector<TextFileCall> textFileCalls();
std::vector<StatusCall> statusCalls();
// The error number the next set_text_file calls return.
void setTextFileResult(int error);

}  // namespace recording_p7
