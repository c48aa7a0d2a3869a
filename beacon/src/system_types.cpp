#include "beacon/system_types.h"

#include <array>
#include <cstddef>

namespace sdk::system {
namespace {

constexpr std::array<const char*, 28> event_type_names = {
    "UNKNOWN",
    "GET",
    "SET",
    "REPLY",
    "SUBSCRIBE",
    "NOTIFY",
    "LOCALIZE",
    "REBOOT",
    "RESET_NETWORK",
    "RESET_SETTINGS",
    "RESET_INDUSTRIAL_ETHERNET",
    "UNSUBSCRIBE",
    "LOGIN",
    "LOGOUT",
    "IPERF",
    "DELETE",
    "CREATE",
    "TEACH",
    "DISKLOADER_MODE",
    "FS_LIST_DIRECTORY",
    "FS_LIST_DIRECTORIES",
    "FS_DELETE",
    "FS_RENAME",
    "FS_DUPLICATE",
    "FS_NEW_DIRECTORY",
    "FS_MOVE",
    "FS_COPY",
    "FS_DOWNLOAD",
};

// Indexed by value + 1.
constexpr std::array<const char*, 10> operation_result_names = {
    "UNKNOWN",
    "ACCEPTED",
    "ERROR",
    "BUSY",
    "NOT_SUPPORTED",
    "INVALID_NETWORK_CONFIG",
    "INVALID_USER_NAME",
    "NOT_AUTHORIZED",
    "INVALID_RIGHTS",
    "RESERVED_IP",
};

// Indexed by (value + 1) as an unsigned byte, so 255 lands on the first entry.
constexpr std::array<const char*, 3> network_method_names = {"UNKNOWN", "PERSISTENT_IP", "DHCP"};

template <typename Names>
std::string name_at(const Names& names, long long index) {
    if (index < 0 || index >= static_cast<long long>(names.size())) {
        return {};
    }
    return names[static_cast<std::size_t>(index)];
}

template <typename Names>
std::optional<long long> index_of(const Names& names, const std::string& text) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (text == names[i]) {
            return static_cast<long long>(i);
        }
    }
    return std::nullopt;
}

}  // namespace

std::string to_string(event_type value) {
    return name_at(event_type_names, static_cast<std::int32_t>(value));
}

std::string to_string(operation_result value) {
    return name_at(operation_result_names, static_cast<long long>(value) + 1);
}

std::string to_string(network_method_type value) {
    return name_at(network_method_names,
                   static_cast<std::uint8_t>(static_cast<std::uint8_t>(value) + 1));
}

std::optional<event_type> event_type_from_string(const std::string& text) {
    auto index = index_of(event_type_names, text);
    if (!index) {
        return std::nullopt;
    }
    return static_cast<event_type>(*index);
}

std::optional<operation_result> operation_result_from_string(const std::string& text) {
    auto index = index_of(operation_result_names, text);
    if (!index) {
        return std::nullopt;
    }
    return static_cast<operation_result>(*index - 1);
}

std::optional<network_method_type> network_method_type_from_string(const std::string& text) {
    auto index = index_of(network_method_names, text);
    if (!index) {
        return std::nullopt;
    }
    return static_cast<network_method_type>(static_cast<std::uint8_t>(*index - 1));
}

}  // namespace sdk::system

namespace DeviceAdministrationFbbApi {

std::string to_string(DeviceState value) {
    switch (value) {
        case DeviceState::DeviceState_ACTIVE:
            return "DeviceState_ACTIVE";
        case DeviceState::DeviceState_WARNING:
            return "DeviceState_WARNING";
        case DeviceState::DeviceState_ERROR:
            return "DeviceState_ERROR";
        case DeviceState::DeviceState_LOCALIZE:
            return "DeviceState_LOCALIZE";
        case DeviceState::DeviceState_UNKNOWN:
            return "DeviceState_UNKNOWN";
    }
    return {};
}

std::optional<DeviceState> device_state_from_string(const std::string& text) {
    for (auto state : {DeviceState::DeviceState_ACTIVE, DeviceState::DeviceState_WARNING,
                       DeviceState::DeviceState_ERROR, DeviceState::DeviceState_LOCALIZE,
                       DeviceState::DeviceState_UNKNOWN}) {
        if (text == to_string(state)) {
            return state;
        }
    }
    return std::nullopt;
}

}  // namespace DeviceAdministrationFbbApi
