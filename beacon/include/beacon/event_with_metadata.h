#pragma once

#include <memory>
#include <string>

#include "beacon/event.h"

namespace dp {

// One received message with where it came from and which card received it.
struct event_with_metadata {
    std::unique_ptr<event> message;  ///< the decoded record, never empty once queued
    std::string sender_ip;           ///< dotted address the datagram came from
    std::string interface_ip;        ///< ip_address() of the receiving endpoint
};

}  // namespace dp
