#pragma once

#include <cstddef>
#include <memory>

#include "beacon/event.h"

namespace dp {

// Largest datagram worth parsing; real answers are a few hundred bytes and
// UDP cannot carry more anyway.
inline constexpr std::size_t max_datagram_size = 65536;
// Deepest nesting worth parsing; real documents nest four levels.
inline constexpr std::size_t max_nesting_depth = 32;

// The record of one datagram, or empty when it is no message of ours. Every
// failure ends in an empty result; nothing is thrown.
std::unique_ptr<event> decode_datagram(const char* data, std::size_t length);

}  // namespace dp
