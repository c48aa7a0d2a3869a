#pragma once

// The one rule for IPv4 address texts in the program, the CLI and the
// simulator. The library's own validation keeps the protocol's looser rule
// (it lets zero-padded parts through), so a text can pass the library and
// still be no address here.

#include <cstdint>
#include <optional>
#include <string>

namespace ipv4text {

// The address in host byte order, or nothing unless text is exactly four
// decimal parts 0..255 joined by dots, without spaces, signs or leading
// zeros (which some parsers read as octal and would silently give another
// address).
std::optional<std::uint32_t> parse(const std::string& text);

// Whether the texts are a host address, its mask and a gateway ("0.0.0.0"
// for none) on one subnet: a contiguous mask, an address that is neither
// the subnet's network nor its broadcast address (on /31 and /32 there are
// none), not 0/8, loopback, multicast or reserved, and a gateway that is
// such a host on the same subnet, other than the address itself.
bool is_valid_host(const std::string& ip, const std::string& mask, const std::string& gateway);

// The dotted text of an address in host byte order.
std::string format(std::uint32_t address);

}  // namespace ipv4text
