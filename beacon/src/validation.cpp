#include "validation.h"

#include <regex>
#include <stdexcept>

namespace dp::validation {
namespace {

const std::regex& ip_pattern() {
    static const std::regex pattern(
        "(25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.(25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.(25[0-"
        "5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.(25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)",
        std::regex::ECMAScript | std::regex::optimize);
    return pattern;
}

// The anchors bind only to the alternatives next to them, but regex_match
// demands a full match of the whole text anyway.
const std::regex& mac_pattern() {
    static const std::regex pattern(
        "^([0-9A-Fa-f]{2}[:-]){5}([0-9A-Fa-f]{2})|([0-9a-fA-F]{4}\\.[0-9a-fA-F]{4}\\.[0-9a-fA-F]{"
        "4})$",
        std::regex::ECMAScript | std::regex::optimize);
    return pattern;
}

}  // namespace

// Longer texts cannot match; checking the length first keeps a hostile
// datagram's huge field away from the backtracking matcher.
constexpr std::size_t longest_ip = 15;
constexpr std::size_t longest_mac = 17;

void require_ip(const std::string& text) {
    if (text.size() > longest_ip || !std::regex_match(text, ip_pattern())) {
        throw std::invalid_argument("Invalid IP address");
    }
}

void require_mac(const std::string& text) {
    if (text.size() > longest_mac || !std::regex_match(text, mac_pattern())) {
        throw std::invalid_argument("Invalid MAC address");
    }
}

}  // namespace dp::validation
