#pragma once

// Vocabulary shared with the devices' own software: protocol actions,
// operation results, addressing methods, capability bits and device states.
// Text forms are exactly the enumerator names.

#include <cstdint>
#include <optional>
#include <string>

#include "beacon/export.h"

namespace sdk::system {

enum class event_type : std::int32_t {
    UNKNOWN = 0,
    GET = 1,
    SET = 2,
    REPLY = 3,
    SUBSCRIBE = 4,
    NOTIFY = 5,
    LOCALIZE = 6,
    REBOOT = 7,
    RESET_NETWORK = 8,
    RESET_SETTINGS = 9,
    RESET_INDUSTRIAL_ETHERNET = 10,
    UNSUBSCRIBE = 11,
    LOGIN = 12,
    LOGOUT = 13,
    IPERF = 14,
    DELETE = 15,
    CREATE = 16,
    TEACH = 17,
    DISKLOADER_MODE = 18,
    FS_LIST_DIRECTORY = 19,
    FS_LIST_DIRECTORIES = 20,
    FS_DELETE = 21,
    FS_RENAME = 22,
    FS_DUPLICATE = 23,
    FS_NEW_DIRECTORY = 24,
    FS_MOVE = 25,
    FS_COPY = 26,
    FS_DOWNLOAD = 27,
};

enum class operation_result : std::int32_t {
    UNKNOWN = -1,
    ACCEPTED = 0,
    ERROR = 1,
    BUSY = 2,
    NOT_SUPPORTED = 3,
    INVALID_NETWORK_CONFIG = 4,
    INVALID_USER_NAME = 5,
    NOT_AUTHORIZED = 6,
    INVALID_RIGHTS = 7,
    RESERVED_IP = 8,
};

enum class network_method_type : std::uint8_t {
    PERSISTENT_IP = 0,
    DHCP = 1,
    UNKNOWN = 255,
};

enum class capabilities : std::uint32_t {
    SUPPORTS_DHCP = 1,
    SUPPORTS_PERSISTENT_IP = 2,
    SUPPORTS_LOCALIZE = 8,
};

// Value to text: the enumerator name, or "" for a value without one.
BEACON_EXPORT std::string to_string(event_type value);
BEACON_EXPORT std::string to_string(operation_result value);
BEACON_EXPORT std::string to_string(network_method_type value);

// Text to value: exact, case-sensitive match of a whole enumerator name.
BEACON_EXPORT std::optional<event_type> event_type_from_string(const std::string& text);
BEACON_EXPORT std::optional<operation_result> operation_result_from_string(const std::string& text);
BEACON_EXPORT std::optional<network_method_type> network_method_type_from_string(
    const std::string& text);

}  // namespace sdk::system

namespace DeviceAdministrationFbbApi {

enum class DeviceState : std::uint8_t {
    DeviceState_ACTIVE = 0,
    DeviceState_WARNING = 1,
    DeviceState_ERROR = 2,
    DeviceState_LOCALIZE = 3,
    DeviceState_UNKNOWN = 255,
};

// Full enumerator name including the "DeviceState_" prefix; "" for other values.
BEACON_EXPORT std::string to_string(DeviceState value);
BEACON_EXPORT std::optional<DeviceState> device_state_from_string(const std::string& text);

}  // namespace DeviceAdministrationFbbApi
