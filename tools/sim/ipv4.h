#pragma once

// Small IPv4 helpers for the simulator: dotted texts to host-order numbers
// and back, subnets, and the rules a device applies before it takes a new
// address.

#include <cstdint>
#include <optional>
#include <string>

#include "ipv4text/ipv4_text.h"

namespace sim::ipv4 {

// Dotted quads ("10.1.2.3") read and written by the program's own rule.
using ipv4text::format;
using ipv4text::parse;

// A prefix length 0..32 as a mask, and back (empty when the mask has holes).
std::uint32_t mask_of_prefix(int prefix);
std::optional<int> prefix_of_mask(std::uint32_t mask);

struct cidr {
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
    std::uint32_t network() const { return address & mask; }
    std::uint32_t broadcast() const { return network() | ~mask; }
    bool contains(std::uint32_t other) const { return (other & mask) == network(); }
};

// "10.10.1.2/24" or "10.10.1.2/255.255.255.0"; empty when malformed.
std::optional<cidr> parse_cidr(const std::string& text);
std::string format_cidr(const cidr& value);

// Addresses no device may take as its own: unspecified, loopback,
// link-local, multicast, the reserved class E block and limited broadcast.
bool is_reserved_host(std::uint32_t address);

}  // namespace sim::ipv4
