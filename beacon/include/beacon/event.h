#pragma once

#include <string>

#include "beacon/export.h"
#include "beacon/system_types.h"

namespace dp {

// Common base of the six protocol messages. type_of_service is a kind index
// fixed by the concrete class (0..5), not the action that travels on the wire.
class BEACON_EXPORT event {
public:
    /// Makes a message of the given kind; the default -1 names no kind.
    explicit event(
        sdk::system::event_type type_of_service = static_cast<sdk::system::event_type>(-1));
    virtual ~event();
    event(const event&) = default;
    event(event&&) = default;
    event& operator=(const event&) = default;
    event& operator=(event&&) = default;

    /// The request id; a response repeats the id of the request it answers.
    std::string request_id() const;
    /// Replaces the request id.
    void set_request_id(const std::string& request_id);
    /// The message kind code of the concrete class.
    sdk::system::event_type type_of_service() const;

private:
    std::string request_id_;
    sdk::system::event_type type_of_service_;
};

}  // namespace dp
