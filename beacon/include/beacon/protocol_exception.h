#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "beacon/export.h"

namespace dp {

// A UDP endpoint could not be bound to its address and port.
class BEACON_EXPORT protocol_exception : public std::exception {
public:
    /// Message "Socket bind failed on <ip>:<port>".
    protocol_exception(const std::string& ip, std::uint32_t port);
    ~protocol_exception() override;
    protocol_exception(const protocol_exception&) = default;
    protocol_exception(protocol_exception&&) = default;
    protocol_exception& operator=(const protocol_exception&) = default;
    protocol_exception& operator=(protocol_exception&&) = default;

    /// The address that could not be bound.
    std::string ip() const;
    /// The port that could not be bound.
    std::uint32_t port() const;
    const char* what() const noexcept override;

private:
    std::string ip_;
    std::uint32_t port_;
    std::string message_;
};

}  // namespace dp
