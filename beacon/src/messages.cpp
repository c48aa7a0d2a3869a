#include <stdexcept>

#include "beacon/configuration_request.h"
#include "beacon/configuration_response.h"
#include "beacon/discovery_request.h"
#include "beacon/discovery_response.h"
#include "beacon/localize_request.h"
#include "beacon/localize_response.h"
#include "beacon/secure_wipe.h"
#include "validation.h"

namespace dp {

using sdk::system::event_type;

// The kind codes 0..5 coincide with the first event_type values; they are an
// index of the message class, not the action that travels on the wire.
discovery_request::discovery_request() : event(event_type::UNKNOWN) {}

bool discovery_request::operator==(const discovery_request& other) const {
    return request_id() == other.request_id() && type_of_service() == other.type_of_service();
}

discovery_response::discovery_response()
    : event(event_type::GET),
      mac_("00:11:22:33:44:55"),
      ip_("0.0.0.0"),
      mask_("0.0.0.0"),
      gateway_("0.0.0.0") {}

std::string discovery_response::mac() const {
    return mac_;
}

void discovery_response::set_mac(const std::string& mac) {
    validation::require_mac(mac);
    mac_ = mac;
}

std::string discovery_response::hardware_version() const {
    return hardware_version_;
}

void discovery_response::set_hardware_version(const std::string& value) {
    hardware_version_ = value;
}

std::string discovery_response::device_type() const {
    return device_type_;
}

void discovery_response::set_device_type(const std::string& value) {
    device_type_ = value;
}

std::string discovery_response::device_url() const {
    return device_url_;
}

void discovery_response::set_device_url(const std::string& value) {
    device_url_ = value;
}

std::string discovery_response::serial_number() const {
    return serial_number_;
}

void discovery_response::set_serial_number(const std::string& value) {
    serial_number_ = value;
}

std::string discovery_response::article_number() const {
    return article_number_;
}

void discovery_response::set_article_number(const std::string& value) {
    article_number_ = value;
}

std::string discovery_response::device_firmware() const {
    return device_firmware_;
}

void discovery_response::set_device_firmware(const std::string& value) {
    device_firmware_ = value;
}

std::string discovery_response::user_defined_name() const {
    return user_defined_name_;
}

void discovery_response::set_user_defined_name(const std::string& value) {
    user_defined_name_ = value;
}

std::string discovery_response::manufacture_date() const {
    return manufacture_date_;
}

void discovery_response::set_manufacture_date(const std::string& value) {
    manufacture_date_ = value;
}

std::string discovery_response::manufacturer() const {
    return manufacturer_;
}

void discovery_response::set_manufacturer(const std::string& value) {
    manufacturer_ = value;
}

std::string discovery_response::nic_name() const {
    return nic_name_;
}

void discovery_response::set_nic_name(const std::string& value) {
    nic_name_ = value;
}

std::string discovery_response::ip() const {
    return ip_;
}

void discovery_response::set_ip(const std::string& value) {
    validation::require_ip(value);
    ip_ = value;
}

std::string discovery_response::mask() const {
    return mask_;
}

void discovery_response::set_mask(const std::string& value) {
    validation::require_ip(value);
    mask_ = value;
}

std::string discovery_response::gateway() const {
    return gateway_;
}

void discovery_response::set_gateway(const std::string& value) {
    validation::require_ip(value);
    gateway_ = value;
}

bool discovery_response::authentication() const {
    return authentication_;
}

void discovery_response::set_authentication(const bool& value) {
    authentication_ = value;
}

sdk::system::network_method_type discovery_response::network_method() const {
    return network_method_;
}

void discovery_response::set_network_method(const sdk::system::network_method_type& value) {
    network_method_ = value;
}

DeviceAdministrationFbbApi::DeviceState discovery_response::state() const {
    return state_;
}

void discovery_response::set_state(const DeviceAdministrationFbbApi::DeviceState& value) {
    state_ = value;
}

std::int64_t discovery_response::status_value() const {
    return status_value_;
}

void discovery_response::set_status_value(const std::int64_t& value) {
    status_value_ = value;
}

std::vector<std::string> discovery_response::info_messages() const {
    return info_messages_;
}

void discovery_response::append_info_message(const std::string& message) {
    info_messages_.push_back(message);
}

std::uint32_t discovery_response::capability() const {
    return capability_;
}

void discovery_response::set_capability(const std::uint32_t& mask) {
    capability_ = mask;
}

bool discovery_response::capability(sdk::system::capabilities flag) const {
    const auto bits = static_cast<std::uint32_t>(flag);
    return (capability_ & bits) == bits;
}

void discovery_response::set_capability(sdk::system::capabilities flag, bool on) {
    // The bit addressed is floor(log2(flag)) mod 32: the highest bit of a
    // multi-bit flag, bit 0 for a flag of 0.
    auto bits = static_cast<std::uint32_t>(flag);
    unsigned index = 0;
    while (bits > 1) {
        bits >>= 1;
        ++index;
    }
    const std::uint32_t bit = std::uint32_t{1} << (index % 32);
    if (on) {
        capability_ |= bit;
    } else {
        capability_ &= ~bit;
    }
}

bool discovery_response::operator==(const discovery_response& other) const {
    return request_id() == other.request_id() && mac_ == other.mac_ &&
           hardware_version_ == other.hardware_version_ && device_type_ == other.device_type_ &&
           device_url_ == other.device_url_ && serial_number_ == other.serial_number_ &&
           article_number_ == other.article_number_ && device_firmware_ == other.device_firmware_ &&
           user_defined_name_ == other.user_defined_name_ && manufacturer_ == other.manufacturer_ &&
           ip_ == other.ip_ && mask_ == other.mask_ && gateway_ == other.gateway_ &&
           network_method_ == other.network_method_ && state_ == other.state_ &&
           status_value_ == other.status_value_ && info_messages_ == other.info_messages_ &&
           capability_ == other.capability_ && authentication_ == other.authentication_;
}

configuration_request::configuration_request() : event(event_type::SET) {}

std::string configuration_request::article_number() const {
    return article_number_;
}

void configuration_request::set_article_number(const std::string& value) {
    article_number_ = value;
}

std::string configuration_request::serial_number() const {
    return serial_number_;
}

void configuration_request::set_serial_number(const std::string& value) {
    serial_number_ = value;
}

std::string configuration_request::nic_name() const {
    return nic_name_;
}

void configuration_request::set_nic_name(const std::string& value) {
    nic_name_ = value;
}

std::string configuration_request::ip() const {
    return ip_;
}

void configuration_request::set_ip(const std::string& value) {
    validation::require_ip(value);
    ip_ = value;
}

std::string configuration_request::mask() const {
    return mask_;
}

void configuration_request::set_mask(const std::string& value) {
    validation::require_ip(value);
    mask_ = value;
}

std::string configuration_request::gateway() const {
    return gateway_;
}

void configuration_request::set_gateway(const std::string& value) {
    validation::require_ip(value);
    gateway_ = value;
}

std::string configuration_request::user_defined_name() const {
    return user_defined_name_;
}

void configuration_request::set_user_defined_name(const std::string& value) {
    user_defined_name_ = value;
}

std::string configuration_request::username() const {
    return username_;
}

void configuration_request::set_username(const std::string& value) {
    username_ = value;
}

std::string configuration_request::password() const {
    return password_;
}

void configuration_request::set_password(const std::string& value) {
    password_ = value;
}

void configuration_request::wipe_credentials() noexcept {
    secure_wipe(username_);
    secure_wipe(password_);
}

sdk::system::network_method_type configuration_request::network_method() const {
    return network_method_;
}

void configuration_request::set_network_method(const sdk::system::network_method_type& value) {
    network_method_ = value;
}

bool configuration_request::operator==(const configuration_request& other) const {
    return request_id() == other.request_id() && type_of_service() == other.type_of_service() &&
           article_number_ == other.article_number_ && serial_number_ == other.serial_number_ &&
           nic_name_ == other.nic_name_ && ip_ == other.ip_ && mask_ == other.mask_ &&
           gateway_ == other.gateway_ && network_method_ == other.network_method_ &&
           user_defined_name_ == other.user_defined_name_;
}

configuration_response::configuration_response() : event(event_type::REPLY) {}

std::string configuration_response::article_number() const {
    return article_number_;
}

void configuration_response::set_article_number(const std::string& value) {
    article_number_ = value;
}

std::string configuration_response::serial_number() const {
    return serial_number_;
}

void configuration_response::set_serial_number(const std::string& value) {
    serial_number_ = value;
}

sdk::system::operation_result configuration_response::result() const {
    return result_;
}

void configuration_response::set_result(const sdk::system::operation_result& value) {
    const auto number = static_cast<std::int32_t>(value);
    if (number < -1 || number > 8) {
        throw std::invalid_argument("Invalid parameter");
    }
    result_ = value;
}

bool configuration_response::operator==(const configuration_response& other) const {
    return request_id() == other.request_id() && type_of_service() == other.type_of_service() &&
           article_number_ == other.article_number_ && serial_number_ == other.serial_number_;
}

localize_request::localize_request() : event(event_type::SUBSCRIBE) {}

std::string localize_request::article_number() const {
    return article_number_;
}

void localize_request::set_article_number(const std::string& value) {
    article_number_ = value;
}

std::string localize_request::serial_number() const {
    return serial_number_;
}

void localize_request::set_serial_number(const std::string& value) {
    serial_number_ = value;
}

std::string localize_request::username() const {
    return username_;
}

void localize_request::set_username(const std::string& value) {
    username_ = value;
}

std::string localize_request::password() const {
    return password_;
}

void localize_request::set_password(const std::string& value) {
    password_ = value;
}

void localize_request::wipe_credentials() noexcept {
    secure_wipe(username_);
    secure_wipe(password_);
}

bool localize_request::operator==(const localize_request& other) const {
    return request_id() == other.request_id() && type_of_service() == other.type_of_service() &&
           article_number_ == other.article_number_ && serial_number_ == other.serial_number_;
}

localize_response::localize_response() : event(event_type::NOTIFY) {}

std::string localize_response::article_number() const {
    return article_number_;
}

void localize_response::set_article_number(const std::string& value) {
    article_number_ = value;
}

std::string localize_response::serial_number() const {
    return serial_number_;
}

void localize_response::set_serial_number(const std::string& value) {
    serial_number_ = value;
}

sdk::system::operation_result localize_response::result() const {
    return result_;
}

void localize_response::set_result(const sdk::system::operation_result& value) {
    result_ = value;
}

bool localize_response::operator==(const localize_response& other) const {
    return request_id() == other.request_id() && type_of_service() == other.type_of_service() &&
           article_number_ == other.article_number_ && serial_number_ == other.serial_number_;
}

}  // namespace dp
