#pragma once

#include <string>

namespace dp::validation {

// True when text is a dotted quad, as require_ip accepts it.
bool is_ip(const std::string& text);
// True when text is a MAC, as require_mac accepts it.
bool is_mac(const std::string& text);

// Throws std::invalid_argument("Invalid IP address") unless text is a dotted quad.
void require_ip(const std::string& text);
// Throws std::invalid_argument("Invalid MAC address") unless text is a MAC.
void require_mac(const std::string& text);

}  // namespace dp::validation
