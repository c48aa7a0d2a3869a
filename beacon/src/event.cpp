#include "beacon/event.h"

namespace dp {

event::event(sdk::system::event_type type_of_service) : type_of_service_(type_of_service) {}

event::~event() = default;

std::string event::request_id() const {
    return request_id_;
}

void event::set_request_id(const std::string& request_id) {
    request_id_ = request_id;
}

sdk::system::event_type event::type_of_service() const {
    return type_of_service_;
}

}  // namespace dp
