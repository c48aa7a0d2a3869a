#pragma once

#include <string>

namespace cli {

// True for exactly four decimal parts 0..255 joined by dots ("10.0.0.1"); no
// spaces, signs, empty parts or leading zeros (which some parsers read as
// octal and would silently send another address).
bool is_dotted_ipv4(const std::string& text);

}  // namespace cli
