#pragma once

#include <string>

#include "beacon/event.h"

namespace dp {

// Asks one device to make itself noticeable.
class BEACON_EXPORT localize_request : public event {
public:
    /// Kind code 4; every text empty.
    localize_request();

    std::string article_number() const;
    void set_article_number(const std::string& value);
    std::string serial_number() const;
    void set_serial_number(const std::string& value);
    std::string username() const;
    void set_username(const std::string& value);
    std::string password() const;
    void set_password(const std::string& value);
    /// Overwrites and empties user name and password (see secure_wipe).
    void wipe_credentials() noexcept;

    /// Compares request id, kind, article and serial number (not the credentials).
    bool operator==(const localize_request& other) const;

private:
    std::string article_number_;
    std::string serial_number_;
    std::string username_;
    std::string password_;
};

}  // namespace dp
