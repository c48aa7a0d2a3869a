// Any bytes arriving on the discovery port reach the engine's decoder; it
// must return a record or nothing, and never crash or throw.

#include <cstddef>
#include <cstdint>
#include <limits>

#include "decoder_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const beacontest::decoder_probe probe;
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return 0;
    }
    // decode() has a noexcept contract towards netbridge's thread, so an
    // escaping exception is a finding: libFuzzer reports it as a crash.
    auto record =
        probe.decode(reinterpret_cast<const char*>(data), static_cast<std::int32_t>(size));
    (void)record;
    return 0;
}
