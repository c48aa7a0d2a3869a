#include "answer_memo.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <random>

// Used as a header only: nothing of xxHash is linked.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace dp {

namespace {

// Where `token` first occurs in `text` from `from` on. glibc's memmem skips
// ahead by pairs of bytes; a plain find stops at every quote of the text,
// about a hundred per answer.
std::size_t find_token(std::string_view text, std::string_view token, std::size_t from) {
    if (from > text.size()) {
        return std::string_view::npos;
    }
#if defined(__GLIBC__)
    const void* at = memmem(text.data() + from, text.size() - from, token.data(), token.size());
    return at == nullptr ? std::string_view::npos
                         : static_cast<std::size_t>(static_cast<const char*>(at) - text.data());
#else
    return text.find(token, from);
#endif
}

}  // namespace

bool find_plain_id(std::string_view datagram, id_span& out) {
    // Without a backslash no key is escaped and no text holds a quote, so
    // the one "id" token found is the only spelling of the member: a second
    // (a duplicate, or any text "id") would make the last one the winner.
    constexpr std::string_view key = "\"id\"";
    constexpr std::string_view colon = ":\"";
    if (datagram.find('\\') != std::string_view::npos) {
        return false;
    }
    const std::size_t at = find_token(datagram, key, 0);
    if (at == std::string_view::npos ||
        find_token(datagram, key, at + 1) != std::string_view::npos ||
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

bool find_first_id(std::string_view datagram, id_span& out) {
    constexpr std::string_view member = "\"id\":\"";
    const std::size_t at = find_token(datagram, member, 0);
    if (at == std::string_view::npos) {
        return false;
    }
    const std::size_t begin = at + member.size();
    const std::size_t end = datagram.find('"', begin);
    if (end == std::string_view::npos) {
        return false;
    }
    for (std::size_t i = begin; i < end; ++i) {
        const auto c = static_cast<unsigned char>(datagram[i]);
        if (c < 0x20 || c > 0x7e || c == '\\') {
            return false;
        }
    }
    out = {begin, end};
    return true;
}

answer_memo::answer_memo(std::size_t capacity) : capacity_(capacity) {
    static_assert(std::tuple_size<decltype(secret_)>::value >= XXH3_SECRET_SIZE_MIN);
    std::random_device source;
    for (unsigned char& byte : secret_) {
        byte = static_cast<unsigned char>(source());
    }
}

bool answer_memo::fingerprint_of(std::string_view datagram, id_span& span, fingerprint& out,
                                 bool strict) const {
    if (!(strict ? find_plain_id(datagram, span) : find_first_id(datagram, span))) {
        return false;
    }
    // Each piece's fingerprint (its length is part of it), and theirs
    // together: equal pieces, equal fingerprint, wherever the id stood.
    const auto of = [this](const void* data, std::size_t size) {
        return XXH3_128bits_withSecret(data, size, secret_.data(), secret_.size());
    };
    const XXH128_hash_t first = of(datagram.data(), span.begin);
    const XXH128_hash_t second = of(datagram.data() + span.end, datagram.size() - span.end);
    const std::uint64_t both[4] = {first.low64, first.high64, second.low64, second.high64};
    const XXH128_hash_t whole = of(both, sizeof both);
    // The table keeps no key 0.
    out.low = whole.low64 == 0 ? 1 : whole.low64;
    out.high = whole.high64;
    return true;
}

const answer_memo::kept_text* answer_memo::find(const fingerprint& key) const {
    const kept_text* at = records_.find(key.low);
    return at != nullptr && at->high == key.high ? at : nullptr;
}

std::uint64_t answer_memo::recall(std::string_view datagram,
                                  const std::function<bool(std::uint64_t)>& take,
                                  bool* taken) const {
    if (taken != nullptr) {
        *taken = false;
    }
    id_span span;
    fingerprint key;
    // Only texts that find_plain_id accepted are remembered, so the lighter
    // search is enough here: a datagram with a remembered text's pieces
    // around its first id member is that text with another id (printable,
    // without quote or backslash), and decodes as it did but for the id.
    if (!fingerprint_of(datagram, span, key, false)) {
        return 0;
    }
    std::shared_lock<std::shared_mutex> lock(mutex_);
    const kept_text* found = find(key);
    if (found == nullptr) {
        return 0;
    }
    const std::uint64_t number = found->number;
    if (take && take(number) && taken != nullptr) {
        *taken = true;
    }
    return number;
}

std::uint64_t answer_memo::remember(std::string_view datagram, const event& record) {
    const auto* answer = dynamic_cast<const discovery_response*>(&record);
    if (answer == nullptr) {
        return 0;
    }
    id_span span;
    fingerprint key;
    // The span is the member the decoder read only if it holds what the
    // record carries.
    if (!fingerprint_of(datagram, span, key, true) ||
        datagram.substr(span.begin, span.end - span.begin) != answer->request_id()) {
        return 0;
    }
    std::string device = answer->article_number();
    device.append(1, '\0').append(answer->serial_number());
    std::unique_lock<std::shared_mutex> lock(mutex_);
    if (const kept_text* known = find(key)) {
        // Two threads decoded the same new text; the first one's number stands.
        return known->number;
    }
    const auto previous = text_of_device_.find(device);
    if (previous != text_of_device_.end()) {
        records_.erase(previous->second);
        text_of_device_.erase(previous);
    } else if (text_of_device_.size() >= capacity_) {
        records_.clear();
        text_of_device_.clear();
    }
    if (records_.find(key.low) != nullptr) {
        // Another device's text has this key: this one is decoded each time.
        return 0;
    }
    static std::atomic<std::uint64_t> last_number{0};
    const std::uint64_t number = ++last_number;
    *records_.insert(key.low).first = kept_text{key.high, number};
    text_of_device_.emplace(std::move(device), key.low);
    return number;
}

std::size_t answer_memo::size() const {
    std::shared_lock<std::shared_mutex> lock(mutex_);
    return records_.size();
}

}  // namespace dp
