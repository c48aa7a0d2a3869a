#pragma once

#include <cstddef>
#include <string>

#include "beacon/export.h"

namespace dp {

/// Overwrites size bytes at data with zeros in a way the compiler cannot
/// drop as a dead store. For secrets whose memory is about to be reused or
/// freed; a null pointer or a zero size does nothing.
BEACON_EXPORT void secure_wipe(void* data, std::size_t size) noexcept;

/// Zeros the text's characters (and any spare capacity) and empties it.
BEACON_EXPORT void secure_wipe(std::string& text) noexcept;

}  // namespace dp
