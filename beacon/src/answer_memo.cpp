#include "answer_memo.h"

#include <atomic>

namespace dp {

bool find_plain_id(std::string_view datagram, id_span& out) {
    // Without a backslash no key is escaped and no text holds a quote, so
    // the one "id" token found is the only spelling of the member: a second
    // (a duplicate, or any text "id") would make the last one the winner.
    constexpr std::string_view key = "\"id\"";
    constexpr std::string_view colon = ":\"";
    if (datagram.find('\\') != std::string_view::npos) {
        return false;
    }
    const std::size_t at = datagram.find(key);
    if (at == std::string_view::npos || datagram.find(key, at + 1) != std::string_view::npos ||
        datagram.compare(at + key.size(), colon.size(), colon) != 0) {
        return false;
    }
    const std::size_t begin = at + key.size() + colon.size();
    const std::size_t end = datagram.find('"', begin);
    if (end == std::string_view::npos) {
        return false;
    }
    for (std::size_t i = begin; i < end; ++i) {
        const auto c = static_cast<unsigned char>(datagram[i]);
        if (c < 0x20 || c > 0x7e) {
            return false;
        }
    }
    out = {begin, end};
    return true;
}

answer_memo::answer_memo(std::size_t capacity) : capacity_(capacity) {}

std::string answer_memo::key_of(std::string_view datagram, id_span& span) {
    if (!find_plain_id(datagram, span)) {
        return {};
    }
    std::string key;
    key.reserve(datagram.size() - (span.end - span.begin));
    key.append(datagram.substr(0, span.begin)).append(datagram.substr(span.end));
    return key;
}

std::unique_ptr<event> answer_memo::recall(std::string_view datagram, std::uint64_t* text_number) {
    id_span span;
    const std::string key = key_of(datagram, span);
    if (key.empty()) {
        return nullptr;
    }
    std::unique_ptr<discovery_response> copy;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = records_.find(key);
        if (found == records_.end()) {
            return nullptr;
        }
        copy = std::make_unique<discovery_response>(*found->second.record);
        if (text_number != nullptr) {
            *text_number = found->second.number;
        }
    }
    copy->set_request_id(std::string(datagram.substr(span.begin, span.end - span.begin)));
    return copy;
}

std::uint64_t answer_memo::remember(std::string_view datagram, const event& record) {
    const auto* answer = dynamic_cast<const discovery_response*>(&record);
    if (answer == nullptr) {
        return 0;
    }
    id_span span;
    std::string key = key_of(datagram, span);
    // The span is the member the decoder read only if it holds what the
    // record carries.
    if (key.empty() || datagram.substr(span.begin, span.end - span.begin) != answer->request_id()) {
        return 0;
    }
    std::string device = answer->article_number();
    device.append(1, '\0').append(answer->serial_number());
    auto copy = std::make_unique<const discovery_response>(*answer);

    std::lock_guard<std::mutex> lock(mutex_);
    const auto previous = key_of_device_.find(device);
    if (previous != key_of_device_.end()) {
        // A copy: the key is erased with its entry.
        const std::string stale = *previous->second;
        records_.erase(stale);
        key_of_device_.erase(previous);
    } else if (key_of_device_.size() >= capacity_) {
        records_.clear();
        key_of_device_.clear();
    }
    // Equal texts name the same device, so the key is not taken.
    static std::atomic<std::uint64_t> last_number{0};
    const std::uint64_t number = ++last_number;
    const auto at = records_.emplace(std::move(key), remembered{std::move(copy), number}).first;
    key_of_device_.emplace(std::move(device), &at->first);
    return number;
}

std::size_t answer_memo::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.size();
}

}  // namespace dp
