#pragma once

#include <string>

namespace dp::validation {

// Throws std::invalid_argument("Invalid IP address") unless text is a dotted quad.
void require_ip(const std::string& text);
// Throws std::invalid_argument("Invalid MAC address") unless text is a MAC.
void require_mac(const std::string& text);

}  // namespace dp::validation
