#pragma once

#include <string>

#include "beacon/event.h"

namespace dp {

// A device's answer to a configuration request.
class BEACON_EXPORT configuration_response : public event {
public:
    /// Kind code 3; result ACCEPTED.
    configuration_response();

    std::string article_number() const;
    void set_article_number(const std::string& value);
    std::string serial_number() const;
    void set_serial_number(const std::string& value);
    sdk::system::operation_result result() const;
    /// Throws std::invalid_argument("Invalid parameter") for a value outside -1..8.
    void set_result(const sdk::system::operation_result& value);

    /// Compares request id, kind, article and serial number (not the result).
    bool operator==(const configuration_response& other) const;

private:
    std::string article_number_;
    std::string serial_number_;
    sdk::system::operation_result result_ = sdk::system::operation_result::ACCEPTED;
};

}  // namespace dp
