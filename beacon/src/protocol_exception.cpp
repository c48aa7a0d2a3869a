#include "beacon/protocol_exception.h"

namespace dp {

protocol_exception::protocol_exception(const std::string& ip, std::uint32_t port)
    : ip_(ip), port_(port), message_("Socket bind failed on " + ip + ":" + std::to_string(port)) {}

protocol_exception::~protocol_exception() = default;

std::string protocol_exception::ip() const {
    return ip_;
}

std::uint32_t protocol_exception::port() const {
    return port_;
}

const char* protocol_exception::what() const noexcept {
    return message_.c_str();
}

}  // namespace dp
