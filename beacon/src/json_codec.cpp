#include "json_codec.h"

#include <cmath>
#include <stdexcept>

#include "beacon/codec.h"

namespace dp {
namespace {

using nlohmann::json;
using sdk::system::network_method_type;
using sdk::system::operation_result;

constexpr const char* state_prefix = "DeviceState_";

json envelope(const char* action, const char* body) {
    json document = json::object();
    document["id"] = "";
    document["action"] = action;
    document[body] = json::object();
    return document;
}

std::string wire_state(DeviceAdministrationFbbApi::DeviceState state) {
    const std::string name = DeviceAdministrationFbbApi::to_string(state);
    const std::string prefix = state_prefix;
    return name.compare(0, prefix.size(), prefix) == 0 ? name.substr(prefix.size()) : std::string();
}

std::string text(const json& object, const char* key) {
    return object.at(key).get<std::string>();
}

// nlohmann would read a boolean as a number and cast an out-of-range float
// with undefined behaviour; only numbers are accepted, and floats only where
// the conversion is defined.
long double number(const json& object, const char* key) {
    const json& value = object.at(key);
    if (!value.is_number()) {
        throw json::type_error::create(302, std::string(key) + " is not a number", &value);
    }
    return value.get<long double>();
}

std::uint32_t unsigned32(const json& object, const char* key) {
    const json& value = object.at(key);
    if (value.is_number_unsigned()) {
        return static_cast<std::uint32_t>(value.get<std::uint64_t>());
    }
    if (value.is_number_integer()) {
        return static_cast<std::uint32_t>(value.get<std::int64_t>());
    }
    const long double real = number(object, key);
    if (!std::isfinite(real) || real <= -9.2e18L || real >= 9.2e18L) {
        throw std::out_of_range(std::string(key) + " out of range");
    }
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(real));
}

std::int64_t signed64(const json& object, const char* key) {
    const json& value = object.at(key);
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    const long double real = number(object, key);
    if (!std::isfinite(real) || real <= -9.2e18L || real >= 9.2e18L) {
        throw std::out_of_range(std::string(key) + " out of range");
    }
    return static_cast<std::int64_t>(real);
}

network_method_type method_of(const json& network) {
    auto method = sdk::system::network_method_type_from_string(text(network, "method"));
    if (!method) {
        throw std::invalid_argument("Invalid network method");
    }
    return *method;
}

operation_result result_of(const json& results, const char* key) {
    auto result = sdk::system::operation_result_from_string(text(results, key));
    if (!result) {
        throw std::invalid_argument("Invalid operation result");
    }
    return *result;
}

const json& object_at(const json& document, const char* key) {
    const json& value = document.at(key);
    if (!value.is_object()) {
        throw json::type_error::create(302, std::string(key) + " is not an object", &value);
    }
    return value;
}

}  // namespace

void to_json(json& document, const discovery_request& message) {
    document = envelope("GET", "parameters");
    document["id"] = message.request_id();
    document["parameters"]["deviceDetails"] = nullptr;
}

void to_json(json& document, const discovery_response& message) {
    document = envelope("REPLY", "results");
    document["id"] = message.request_id();
    // Complete with empty values first, so hostID and nic_name are always present.
    json details = {
        {"mac", ""},
        {"hardwareVersion", ""},
        {"deviceType", ""},
        {"deviceUrl", ""},
        {"serialNumber", ""},
        {"articleNumber", ""},
        {"firmwareVersion", ""},
        {"userDefinedName", ""},
        {"hostID", ""},
        {"manufactureDate", ""},
        {"manufacturer", ""},
        {"capabilities", 0u},
        {"network", {{"nic_name", ""}, {"ip", ""}, {"mask", ""}, {"gateway", ""}, {"method", ""}}},
        {"deviceStatus", {{"state", ""}, {"value", 0}, {"info", json::array()}}},
        {"authentication", false},
    };
    details["mac"] = message.mac();
    details["hardwareVersion"] = message.hardware_version();
    details["deviceType"] = message.device_type();
    details["deviceUrl"] = message.device_url();
    details["serialNumber"] = message.serial_number();
    details["articleNumber"] = message.article_number();
    details["firmwareVersion"] = message.device_firmware();
    details["userDefinedName"] = message.user_defined_name();
    details["manufactureDate"] = message.manufacture_date();
    details["manufacturer"] = message.manufacturer();
    details["capabilities"] = message.capability();
    details["network"]["ip"] = message.ip();
    details["network"]["mask"] = message.mask();
    details["network"]["gateway"] = message.gateway();
    details["network"]["method"] = sdk::system::to_string(message.network_method());
    details["deviceStatus"]["state"] = wire_state(message.state());
    details["deviceStatus"]["value"] = message.status_value();
    details["deviceStatus"]["info"] = message.info_messages();
    details["authentication"] = message.authentication();
    document["results"]["deviceDetails"] = std::move(details);
}

void to_json(json& document, const configuration_request& message) {
    document = envelope("SET", "parameters");
    document["id"] = message.request_id();
    document["articleNumber"] = message.article_number();
    document["serialNumber"] = message.serial_number();
    json configuration = json::object();
    configuration["network"] = {
        {"nic_name", ""}, {"ip", ""}, {"mask", ""}, {"gateway", ""}, {"method", ""}};
    configuration["userDefinedName"] = message.user_defined_name();
    configuration["network"]["nic_name"] = message.nic_name();
    configuration["network"]["ip"] = message.ip();
    configuration["network"]["mask"] = message.mask();
    configuration["network"]["gateway"] = message.gateway();
    configuration["network"]["method"] = sdk::system::to_string(message.network_method());
    document["parameters"]["configuration"] = std::move(configuration);
    document["parameters"]["credentials"] = {{"username", message.username()},
                                             {"password", message.password()}};
}

void to_json(json& document, const configuration_response& message) {
    document = envelope("REPLY", "results");
    document["id"] = message.request_id();
    document["articleNumber"] = message.article_number();
    document["serialNumber"] = message.serial_number();
    document["results"]["configuration"] = sdk::system::to_string(message.result());
}

void to_json(json& document, const localize_request& message) {
    document = envelope("LOCALIZE", "parameters");
    document["id"] = message.request_id();
    document["articleNumber"] = message.article_number();
    document["serialNumber"] = message.serial_number();
    document["parameters"]["credentials"] = {{"username", message.username()},
                                             {"password", message.password()}};
}

void to_json(json& document, const localize_response& message) {
    document = envelope("REPLY", "results");
    document["id"] = message.request_id();
    document["articleNumber"] = message.article_number();
    document["serialNumber"] = message.serial_number();
    document["results"]["localize"] = sdk::system::to_string(message.result());
}

void from_json(const json& document, discovery_request& message) {
    message.set_request_id(text(document, "id"));
}

void from_json(const json& document, discovery_response& message) {
    message.set_request_id(text(document, "id"));
    const json& details = object_at(object_at(document, "results"), "deviceDetails");
    message.set_mac(text(details, "mac"));
    message.set_hardware_version(text(details, "hardwareVersion"));
    message.set_device_type(text(details, "deviceType"));
    message.set_device_url(text(details, "deviceUrl"));
    message.set_serial_number(text(details, "serialNumber"));
    message.set_article_number(text(details, "articleNumber"));
    message.set_device_firmware(text(details, "firmwareVersion"));
    message.set_user_defined_name(text(details, "userDefinedName"));
    message.set_manufacturer(text(details, "manufacturer"));
    const json& network = object_at(details, "network");
    message.set_ip(text(network, "ip"));
    message.set_mask(text(network, "mask"));
    message.set_gateway(text(network, "gateway"));
    message.set_manufacture_date(text(details, "manufactureDate"));
    message.set_capability(unsigned32(details, "capabilities"));
    message.set_network_method(method_of(network));
    const json& status = object_at(details, "deviceStatus");
    // An unknown state word is no error: the device is just in a state we do not know.
    auto state =
        DeviceAdministrationFbbApi::device_state_from_string(state_prefix + text(status, "state"));
    message.set_state(state.value_or(DeviceAdministrationFbbApi::DeviceState::DeviceState_UNKNOWN));
    message.set_status_value(signed64(status, "value"));
    const json& info = status.at("info");
    if (!info.is_array()) {
        throw json::type_error::create(302, "info is not an array", &info);
    }
    for (const auto& line : info) {
        message.append_info_message(line.get<std::string>());
    }
    message.set_authentication(details.at("authentication").get<bool>());
}

void from_json(const json& document, configuration_request& message) {
    message.set_request_id(text(document, "id"));
    message.set_article_number(text(document, "articleNumber"));
    message.set_serial_number(text(document, "serialNumber"));
    const json& parameters = object_at(document, "parameters");
    const json& configuration = object_at(parameters, "configuration");
    message.set_user_defined_name(text(configuration, "userDefinedName"));
    const json& network = object_at(configuration, "network");
    message.set_nic_name(text(network, "nic_name"));
    message.set_ip(text(network, "ip"));
    message.set_mask(text(network, "mask"));
    message.set_gateway(text(network, "gateway"));
    message.set_network_method(method_of(network));
    const json& credentials = object_at(parameters, "credentials");
    message.set_username(decrypt_credential(text(credentials, "username")));
    message.set_password(decrypt_credential(text(credentials, "password")));
}

void from_json(const json& document, configuration_response& message) {
    message.set_request_id(text(document, "id"));
    message.set_article_number(text(document, "articleNumber"));
    message.set_serial_number(text(document, "serialNumber"));
    message.set_result(result_of(object_at(document, "results"), "configuration"));
}

void from_json(const json& document, localize_request& message) {
    message.set_request_id(text(document, "id"));
    message.set_article_number(text(document, "articleNumber"));
    message.set_serial_number(text(document, "serialNumber"));
    const json& credentials = object_at(object_at(document, "parameters"), "credentials");
    message.set_username(decrypt_credential(text(credentials, "username")));
    message.set_password(decrypt_credential(text(credentials, "password")));
}

void from_json(const json& document, localize_response& message) {
    message.set_request_id(text(document, "id"));
    message.set_article_number(text(document, "articleNumber"));
    message.set_serial_number(text(document, "serialNumber"));
    message.set_result(result_of(object_at(document, "results"), "localize"));
}

namespace {

template <typename Message>
std::string dump(const Message& message) {
    // Compact, keys in byte order (std::map), UTF-8 unescaped, strict on bad UTF-8.
    return json(message).dump();
}

}  // namespace

std::string encode(const discovery_request& message) {
    return dump(message);
}

std::string encode(const discovery_response& message) {
    return dump(message);
}

std::string encode(const configuration_request& message) {
    return dump(message);
}

std::string encode(const configuration_response& message) {
    return dump(message);
}

std::string encode(const localize_request& message) {
    return dump(message);
}

std::string encode(const localize_response& message) {
    return dump(message);
}

}  // namespace dp
