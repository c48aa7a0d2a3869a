#include "reference_decoder.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <stdexcept>
#include <string>
#include <string_view>

namespace beacontest::reference {
namespace {

using namespace dp;
using nlohmann::json;
using sdk::system::event_type;
using sdk::system::network_method_type;
using sdk::system::operation_result;

constexpr std::size_t max_datagram_size = 65536;
constexpr std::size_t max_nesting_depth = 32;
constexpr const char* state_prefix = "DeviceState_";

// ---- from the JSON layer (from_json and its helpers) ----

std::string text(const json& object, const char* key) {
    return object.at(key).get<std::string>();
}

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

// ---- the decoder ----

bool nesting_within_limit(std::string_view text) {
    std::size_t depth = 0;
    bool in_string = false;
    bool escaped = false;
    for (char c : text) {
        if (in_string) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                in_string = false;
            }
            continue;
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > max_nesting_depth) {
                return false;
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

event_type action_of(const json& document) {
    if (!document.is_object() || !document.contains("action") || !document.contains("id")) {
        return event_type::UNKNOWN;
    }
    return sdk::system::event_type_from_string(document.at("action").get<std::string>())
        .value_or(event_type::UNKNOWN);
}

const json& members_of(const json& document, const char* key) {
    const json& value = document.at(key);
    if (!value.is_object()) {
        throw json::type_error::create(302, std::string(key) + " is not an object", &value);
    }
    return value;
}

template <typename Message>
std::unique_ptr<event> read(const json& document) {
    auto message = std::make_unique<Message>();
    from_json(document, *message);
    return message;
}

std::unique_ptr<event> read_document(const json& document) {
    std::unique_ptr<event> record;
    switch (action_of(document)) {
        case event_type::GET:
            for (const auto& member : members_of(document, "parameters").items()) {
                if (member.key() == "deviceDetails") {
                    record = read<discovery_request>(document);
                }
            }
            break;
        case event_type::SET:
            for (const auto& member : members_of(document, "parameters").items()) {
                if (member.key() == "configuration") {
                    record = read<configuration_request>(document);
                }
            }
            break;
        case event_type::REPLY:
            for (const auto& member : members_of(document, "results").items()) {
                if (member.key() == "deviceDetails") {
                    record = read<discovery_response>(document);
                } else if (member.key() == "localize") {
                    record = read<localize_response>(document);
                } else if (member.key() == "configuration") {
                    record = read<configuration_response>(document);
                }
            }
            break;
        case event_type::LOCALIZE:
            record = read<localize_request>(document);
            break;
        default:
            break;
    }
    return record;
}

}  // namespace

std::unique_ptr<event> decode_datagram(const char* data, std::size_t length) {
    if (data == nullptr || length == 0 || length > max_datagram_size) {
        return nullptr;
    }
    const std::string_view text(data, length);
    if (!nesting_within_limit(text)) {
        return nullptr;
    }
    try {
        return read_document(json::parse(text));
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace beacontest::reference
