#include "validation.h"

#include <stdexcept>

namespace dp::validation {
namespace {

// Hand-written matchers for what used to be two std::regex patterns: the
// receive path checks four fields of every answer, and the regex engine was
// the largest single cost of decoding one. They accept exactly the texts the
// patterns matched in full (tests compare the two on many inputs).

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_hex(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

// Four dot-separated groups of one to three decimal digits, each at most 255
// (leading zeros allowed: "01.002.3.4" matched the pattern).
bool is_ip(const std::string& text) {
    std::size_t i = 0;
    for (int group = 0; group < 4; ++group) {
        if (group > 0) {
            if (i >= text.size() || text[i] != '.') {
                return false;
            }
            ++i;
        }
        int value = 0;
        std::size_t digits = 0;
        while (i < text.size() && is_digit(text[i]) && digits < 3) {
            value = value * 10 + (text[i] - '0');
            ++digits;
            ++i;
        }
        if (digits == 0 || value > 255) {
            return false;
        }
    }
    return i == text.size();
}

// Six hex pairs joined by ':' or '-' (mixed separators allowed), or three
// groups of four hex digits joined by '.'.
bool is_mac(const std::string& text) {
    if (text.size() == 17) {
        for (std::size_t i = 0; i < 17; ++i) {
            const char c = text[i];
            if (i % 3 == 2 ? (c != ':' && c != '-') : !is_hex(c)) {
                return false;
            }
        }
        return true;
    }
    if (text.size() == 14) {
        for (std::size_t i = 0; i < 14; ++i) {
            const char c = text[i];
            if (i % 5 == 4 ? c != '.' : !is_hex(c)) {
                return false;
            }
        }
        return true;
    }
    return false;
}

void require_ip(const std::string& text) {
    if (!is_ip(text)) {
        throw std::invalid_argument("Invalid IP address");
    }
}

void require_mac(const std::string& text) {
    if (!is_mac(text)) {
        throw std::invalid_argument("Invalid MAC address");
    }
}

}  // namespace dp::validation
