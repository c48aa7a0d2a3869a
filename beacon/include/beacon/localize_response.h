#pragma once

#include <string>

#include "beacon/event.h"

namespace dp {

// A device's answer to a localize request.
class BEACON_EXPORT localize_response : public event {
public:
    /// Kind code 5; result UNKNOWN.
    localize_response();

    std::string article_number() const;
    void set_article_number(const std::string& value);
    std::string serial_number() const;
    void set_serial_number(const std::string& value);
    sdk::system::operation_result result() const;
    /// Stores any value unchecked.
    void set_result(const sdk::system::operation_result& value);

    /// Compares request id, kind, article and serial number (not the result).
    bool operator==(const localize_response& other) const;

private:
    std::string article_number_;
    std::string serial_number_;
    sdk::system::operation_result result_ = sdk::system::operation_result::UNKNOWN;
};

}  // namespace dp
