#include "json_codec.h"

#include "beacon/codec.h"

namespace dp {
namespace {

using nlohmann::json;

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
