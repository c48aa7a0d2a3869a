#pragma once

#include "beacon/event.h"

namespace dp {

// Asks every device on the wire to describe itself.
class BEACON_EXPORT discovery_request : public event {
public:
    /// Kind code 0.
    discovery_request();

    /// Compares request id and kind.
    bool operator==(const discovery_request& other) const;
};

}  // namespace dp
