#pragma once

// The datagram decoder as it was when it parsed every datagram into a JSON
// document first (nlohmann's DOM, then from_json). The library no longer
// carries from_json: this is the one copy, for tests only, the yardstick the
// streaming decoder must match on every input: same records, same fields,
// same rejections.

#include <beacon/beacon.h>

#include <cstddef>
#include <memory>

namespace beacontest::reference {

std::unique_ptr<dp::event> decode_datagram(const char* data, std::size_t length);

}  // namespace beacontest::reference
