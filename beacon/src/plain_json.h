#pragma once

// A reader for the plain subset of JSON that devices send: objects,
// arrays, texts of printable ASCII and well-formed UTF-8 without escapes,
// integers of up to 18 digits, true, false and null, with JSON's four
// blanks between tokens. It reports the same events, in the same order and
// with the same values, as nlohmann's SAX parser does for such a text, at a
// small fraction of its cost (that lexer spent about 50 instructions per
// byte, more than all the rest of decoding an answer).
//
// It never decides that a text is not JSON: on the first byte outside the
// subset (an escape, a control character, a byte that is not well-formed
// UTF-8, a fraction or exponent, a longer number, a byte-order mark, a
// syntax error, the depth limit of the handler) it gives up, and the caller
// reads the text again from the start with nlohmann, which stays the judge
// of what is JSON and what each value is.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dp::plain_json {

enum class outcome {
    read,       // a complete plain text: every event was delivered
    not_plain,  // gave up somewhere; the events delivered so far mean nothing
};

// Handler: null(), boolean(bool), integer(std::int64_t) for negative
// integers (and "-0"), unsigned_integer(std::uint64_t) for the others,
// text(std::string_view), key(std::string_view), start_object() and
// start_array() (false to stop), end_object(), end_array().
template <typename Handler>
class scanner {
public:
    scanner(const char* data, std::size_t length, Handler& handler)
        : at_(data), end_(data + length), handler_(handler) {}

    outcome run() {
        blanks();
        if (!value()) {
            return outcome::not_plain;
        }
        blanks();
        return at_ == end_ ? outcome::read : outcome::not_plain;
    }

private:
    // The bytes a text may hold as they are: printable ASCII but the quote
    // and the backslash. A table, as this test runs for nearly every byte.
    struct plain_bytes {
        bool plain[256] = {};
        constexpr plain_bytes() {
            for (int c = 0x20; c <= 0x7e; ++c) {
                plain[c] = c != '"' && c != '\\';
            }
        }
    };
    static bool plain_byte(char c) {
        static constexpr plain_bytes table;
        return table.plain[static_cast<unsigned char>(c)];
    }
    static bool digit(char c) { return c >= '0' && c <= '9'; }

    void blanks() {
        while (at_ != end_ && (*at_ == ' ' || *at_ == '\n' || *at_ == '\r' || *at_ == '\t')) {
            ++at_;
        }
    }

    bool next_is(char c) const { return at_ != end_ && *at_ == c; }

    bool value() {
        if (at_ == end_) {
            return false;
        }
        switch (*at_) {
            case '{':
                return object();
            case '[':
                return array();
            case '"': {
                std::string_view content;
                if (!text(content)) {
                    return false;
                }
                handler_.text(content);
                return true;
            }
            case 't':
                return literal("true") && (handler_.boolean(true), true);
            case 'f':
                return literal("false") && (handler_.boolean(false), true);
            case 'n':
                return literal("null") && (handler_.null(), true);
            default:
                return number();
        }
    }

    bool literal(std::string_view word) {
        if (static_cast<std::size_t>(end_ - at_) < word.size() ||
            std::string_view(at_, word.size()) != word) {
            return false;
        }
        at_ += word.size();
        return true;
    }

    // The length of the well-formed UTF-8 sequence of two to four bytes at
    // at_, or 0: the ranges are those of Unicode's table of well-formed
    // sequences, which nlohmann's lexer checks byte by byte as well.
    std::size_t utf8_sequence() const {
        const auto left = static_cast<std::size_t>(end_ - at_);
        auto byte = [this](std::size_t i) { return static_cast<unsigned char>(at_[i]); };
        auto in = [](unsigned char c, unsigned char low, unsigned char high) {
            return c >= low && c <= high;
        };
        const unsigned char lead = byte(0);
        if (in(lead, 0xc2, 0xdf)) {
            return left >= 2 && in(byte(1), 0x80, 0xbf) ? 2 : 0;
        }
        if (in(lead, 0xe0, 0xef)) {
            const unsigned char low = lead == 0xe0 ? 0xa0 : 0x80;
            const unsigned char high = lead == 0xed ? 0x9f : 0xbf;
            return left >= 3 && in(byte(1), low, high) && in(byte(2), 0x80, 0xbf) ? 3 : 0;
        }
        if (in(lead, 0xf0, 0xf4)) {
            const unsigned char low = lead == 0xf0 ? 0x90 : 0x80;
            const unsigned char high = lead == 0xf4 ? 0x8f : 0xbf;
            return left >= 4 && in(byte(1), low, high) && in(byte(2), 0x80, 0xbf) &&
                           in(byte(3), 0x80, 0xbf)
                       ? 4
                       : 0;
        }
        return 0;
    }

    bool text(std::string_view& content) {
        const char* start = ++at_;
        while (at_ != end_) {
            if (plain_byte(*at_)) {
                ++at_;
            } else if (static_cast<unsigned char>(*at_) >= 0x80) {
                const std::size_t length = utf8_sequence();
                if (length == 0) {
                    return false;
                }
                at_ += length;
            } else {
                break;
            }
        }
        if (!next_is('"')) {
            return false;
        }
        content = std::string_view(start, static_cast<std::size_t>(at_ - start));
        ++at_;
        return true;
    }

    // -?(0|[1-9][0-9]{0,17}) and nothing of a fraction or exponent after it:
    // 18 digits always fit, where nlohmann's conversions could overflow.
    bool number() {
        const bool negative = next_is('-');
        if (negative) {
            ++at_;
        }
        if (at_ == end_ || !digit(*at_)) {
            return false;
        }
        std::uint64_t magnitude = 0;
        if (*at_ == '0') {
            ++at_;
        } else {
            int digits = 0;
            while (at_ != end_ && digit(*at_)) {
                if (++digits > 18) {
                    return false;
                }
                magnitude = magnitude * 10 + static_cast<std::uint64_t>(*at_ - '0');
                ++at_;
            }
        }
        if (at_ != end_ && (digit(*at_) || *at_ == '.' || *at_ == 'e' || *at_ == 'E')) {
            return false;
        }
        if (negative) {
            handler_.integer(-static_cast<std::int64_t>(magnitude));
        } else {
            handler_.unsigned_integer(magnitude);
        }
        return true;
    }

    bool object() {
        if (!handler_.start_object()) {
            return false;
        }
        ++at_;
        blanks();
        if (next_is('}')) {
            ++at_;
            handler_.end_object();
            return true;
        }
        for (;;) {
            std::string_view name;
            if (!next_is('"') || !text(name)) {
                return false;
            }
            handler_.key(name);
            blanks();
            if (!next_is(':')) {
                return false;
            }
            ++at_;
            blanks();
            if (!value()) {
                return false;
            }
            blanks();
            if (next_is(',')) {
                ++at_;
                blanks();
            } else if (next_is('}')) {
                ++at_;
                handler_.end_object();
                return true;
            } else {
                return false;
            }
        }
    }

    bool array() {
        if (!handler_.start_array()) {
            return false;
        }
        ++at_;
        blanks();
        if (next_is(']')) {
            ++at_;
            handler_.end_array();
            return true;
        }
        for (;;) {
            if (!value()) {
                return false;
            }
            blanks();
            if (next_is(',')) {
                ++at_;
                blanks();
            } else if (next_is(']')) {
                ++at_;
                handler_.end_array();
                return true;
            } else {
                return false;
            }
        }
    }

    const char* at_;
    const char* end_;
    Handler& handler_;
};

template <typename Handler>
outcome read(const char* data, std::size_t length, Handler& handler) {
    return scanner<Handler>(data, length, handler).run();
}

}  // namespace dp::plain_json
