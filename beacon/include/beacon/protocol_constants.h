#pragma once

// Fixed numbers and addresses of the discovery protocol.

#include <cstdint>

namespace sdk::system {

// Requests travel to this port; devices listen on it.
inline constexpr std::uint16_t request_port = 33001;
// Responses travel to this port; clients listen on it.
inline constexpr std::uint16_t response_port = 33002;

}  // namespace sdk::system

namespace dp {

// Limited broadcast: the default destination of every send.
inline constexpr const char* broadcast_address = "255.255.255.255";
// A target equal to the loopback address is always addressed directly.
inline constexpr const char* loopback_address = "127.0.0.1";
// An endpoint bound to this address receives but is never used for sending.
inline constexpr const char* any_address = "0.0.0.0";

}  // namespace dp
