#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dp::ipv4 {

// The address in host byte order, or nothing when text is no dotted quad.
std::optional<std::uint32_t> parse(const std::string& text);

// True when target lies in the subnet of address/mask; false when any of the
// three does not parse.
bool same_subnet(const std::string& address, const std::string& mask, const std::string& target);

}  // namespace dp::ipv4
