#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "beacon/event.h"

namespace dp {

// One received message with where it came from and which card received it.
struct event_with_metadata {
    std::unique_ptr<event> message;  ///< the decoded record, never empty once queued
    std::string sender_ip;           ///< dotted address the datagram came from
    std::string interface_ip;        ///< ip_address() of the receiving endpoint
    /// Equal non-zero numbers mark messages whose texts differ at most in
    /// their request id: a device repeating an answer. 0 when the text was
    /// not compared (every kind but discovery answers, unusual spellings).
    std::uint64_t repeat_key = 0;
};

}  // namespace dp
