#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "beacon/event.h"

namespace dp {

// One device's self-description.
class BEACON_EXPORT discovery_response : public event {
public:
    /// Kind code 1; MAC "00:11:22:33:44:55", addresses "0.0.0.0", method and state unknown.
    discovery_response();

    std::string mac() const;
    /// Throws std::invalid_argument("Invalid MAC address") unless six hex pairs
    /// (":" or "-") or three dot-separated groups of four hex digits.
    void set_mac(const std::string& mac);
    std::string hardware_version() const;
    void set_hardware_version(const std::string& value);
    std::string device_type() const;
    void set_device_type(const std::string& value);
    std::string device_url() const;
    void set_device_url(const std::string& value);
    std::string serial_number() const;
    void set_serial_number(const std::string& value);
    std::string article_number() const;
    void set_article_number(const std::string& value);
    std::string device_firmware() const;
    void set_device_firmware(const std::string& value);
    std::string user_defined_name() const;
    void set_user_defined_name(const std::string& value);
    std::string manufacture_date() const;
    void set_manufacture_date(const std::string& value);
    std::string manufacturer() const;
    void set_manufacturer(const std::string& value);
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
    /// True when the device requires credentials.
    bool authentication() const;
    void set_authentication(const bool& value);
    sdk::system::network_method_type network_method() const;
    void set_network_method(const sdk::system::network_method_type& value);
    DeviceAdministrationFbbApi::DeviceState state() const;
    void set_state(const DeviceAdministrationFbbApi::DeviceState& value);
    std::int64_t status_value() const;
    void set_status_value(const std::int64_t& value);
    /// A copy of the info messages in order.
    std::vector<std::string> info_messages() const;
    /// Appends one info message at the end.
    void append_info_message(const std::string& message);

    /// The whole capability mask.
    std::uint32_t capability() const;
    /// Replaces the whole capability mask.
    void set_capability(const std::uint32_t& mask);
    /// True when every bit of flag is set (a flag of 0 is always true).
    bool capability(sdk::system::capabilities flag) const;
    /// Sets or clears the bit floor(log2(flag)) mod 32 (bit 0 for a flag of 0).
    void set_capability(sdk::system::capabilities flag, bool on);

    /// Compares everything except manufacture date, NIC name and kind.
    bool operator==(const discovery_response& other) const;

private:
    std::string mac_;
    std::string hardware_version_;
    std::string device_type_;
    std::string device_url_;
    std::string serial_number_;
    std::string article_number_;
    std::string device_firmware_;
    std::string user_defined_name_;
    std::string manufacture_date_;
    std::string manufacturer_;
    std::string nic_name_;
    std::string ip_;
    std::string mask_;
    std::string gateway_;
    bool authentication_ = false;
    sdk::system::network_method_type network_method_ = sdk::system::network_method_type::UNKNOWN;
    DeviceAdministrationFbbApi::DeviceState state_ =
        DeviceAdministrationFbbApi::DeviceState::DeviceState_UNKNOWN;
    std::int64_t status_value_ = 0;
    std::vector<std::string> info_messages_;
    std::uint32_t capability_ = 0;
};

}  // namespace dp
