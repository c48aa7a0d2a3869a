#include "RecordingP7.h"

#include "logbridge/p7.h"

namespace recording_p7 {
namespace {

struct Record {
    std::mutex mutex;
    std::vector<Delivery> deliveries;
    std::vector<TextFileCall> textFileCalls;
    std::vector<StatusCall> statusCalls;
    int textFileResult = 0;
};

Record& record() {
    static Record r;
    return r;
}

}  // namespace

void reset() {
    std::lock_guard<std::mutex> lock(record().mutex);
    record().deliveries.clear();
    record().textFileCalls.clear();
    record().statusCalls.clear();
    record().textFileResult = 0;
}

std::vector<Delivery> deliveries() {
    std::lock_guard<std::mutex> lock(record().mutex);
    return record().deliveries;
}

std::vector<Delivery> deliveriesContaining(const std::string& needle) {
    std::vector<Delivery> found;
    for (const Delivery& d : deliveries()) {
        if (d.text.find(needle) != std::string::npos) {
            found.push_back(d);
        }
    }
    return found;
}

std::vector<TextFileCall> textFileCalls() {
    std::lock_guard<std::mutex> lock(record().mutex);
    return record().textFileCalls;
}

std::vector<StatusCall> statusCalls() {
    std::lock_guard<std::mutex> lock(record().mutex);
    return record().statusCalls;
}

void setTextFileResult(int error) {
    std::lock_guard<std::mutex> lock(record().mutex);
    record().textFileResult = error;
}

}  // namespace recording_p7

namespace p7 {

int deliver(int level, int /*line*/, const char* /*file*/, const char* function,
            const std::string& text) {
    auto& r = recording_p7::record();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.deliveries.push_back({level, function ? function : "", text, std::this_thread::get_id()});
    return 0;
}

int set_text_file(int max_files, const std::wstring& folder, int max_file_size_mb) {
    auto& r = recording_p7::record();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.textFileCalls.push_back({max_files, folder, max_file_size_mb});
    return r.textFileResult;
}

int status(bool enabled, int flush_level) {
    auto& r = recording_p7::record();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.statusCalls.push_back({enabled, flush_level});
    return 0;
}

}  // namespace p7
