#pragma once

#include <string>

namespace dp::ipv4 {

// True when target lies in the subnet of address/mask; false when any of the
// three does not parse.
bool same_subnet(const std::string& address, const std::string& mask, const std::string& target);

}  // namespace dp::ipv4
