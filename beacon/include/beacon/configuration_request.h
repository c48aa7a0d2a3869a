#pragma once

#include <string>

#include "beacon/event.h"

namespace dp {

// Asks one device (article and serial number) for a new network configuration
// and name. A decoded request holds plain credentials; the senders store the
// protected form just before encoding.
class BEACON_EXPORT configuration_request : public event {
public:
    /// Kind code 2; every text empty, network method unknown.
    configuration_request();

    std::string article_number() const;
    void set_article_number(const std::string& value);
    std::string serial_number() const;
    void set_serial_number(const std::string& value);
    std::string nic_name() const;
    void set_nic_name(const std::string& value);
    std::string ip() const;
    /// Throws std::invalid_argument("Invalid IP address") for anything but a dotted quad.
    void set_ip(const std::string& value);
    std::string mask() const;
    /// Throws std::invalid_argument("Invalid IP address") for anything but a dotted quad.
    void set_mask(const std::string& value);
    std::string gateway() const;
    /// Throws std::invalid_argument("Invalid IP address") for anything but a dotted quad.
    void set_gateway(const std::string& value);
    std::string user_defined_name() const;
    void set_user_defined_name(const std::string& value);
    std::string username() const;
    void set_username(const std::string& value);
    std::string password() const;
    void set_password(const std::string& value);
    /// Overwrites and empties user name and password (see secure_wipe).
    void wipe_credentials() noexcept;
    sdk::system::network_method_type network_method() const;
    void set_network_method(const sdk::system::network_method_type& value);

    /// Compares everything except user name and password.
    bool operator==(const configuration_request& other) const;

private:
    std::string article_number_;
    std::string serial_number_;
    std::string nic_name_;
    std::string ip_;
    std::string mask_;
    std::string gateway_;
    std::string user_defined_name_;
    std::string username_;
    std::string password_;
    sdk::system::network_method_type network_method_ = sdk::system::network_method_type::UNKNOWN;
};

}  // namespace dp
