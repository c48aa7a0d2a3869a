#include "outcome_text.h"

namespace cli {

using sdk::system::operation_result;

std::string configuration_outcome(operation_result result) {
    switch (result) {
        case operation_result::ACCEPTED:
            return "Configuration changed successfully";
        case operation_result::ERROR:
            return "Error while processing the command. Please retry";
        case operation_result::BUSY:
            return "Device is busy. Please retry";
        case operation_result::INVALID_NETWORK_CONFIG:
            return "Error while changing the network settings. Please retry";
        case operation_result::INVALID_USER_NAME:
            return "Error while changing the device name. Please retry";
        case operation_result::NOT_AUTHORIZED:
            return "Not authorized";
        case operation_result::INVALID_RIGHTS:
            return "Invalid rights";
        case operation_result::RESERVED_IP:
            return "Error changing network settings. Reserved IP. Please try again with another "
                   "one.";
        default:
            break;
    }
    return "Unexpected operation result occured";
}

std::string localize_outcome(operation_result result) {
    switch (result) {
        case operation_result::ACCEPTED:
            return "Device is localizing";
        case operation_result::ERROR:
            return "Error while localizing the device";
        case operation_result::BUSY:
            return "Device is busy. Please retry";
        case operation_result::NOT_SUPPORTED:
            return "Localize is not supported";
        case operation_result::NOT_AUTHORIZED:
            return "Not authorized";
        case operation_result::INVALID_RIGHTS:
            return "Invalid rights";
        default:
            break;
    }
    return "Unexpected operation result occured";
}

std::string method_text(sdk::system::network_method_type method) {
    switch (method) {
        case sdk::system::network_method_type::DHCP:
            return "DHCP";
        case sdk::system::network_method_type::PERSISTENT_IP:
            return "PersistentIP";
        default:
            break;
    }
    return "Unknown";
}

std::string state_text(DeviceAdministrationFbbApi::DeviceState state) {
    const std::string prefix = "DeviceState_";
    const std::string full = DeviceAdministrationFbbApi::to_string(state);
    if (full.compare(0, prefix.size(), prefix) != 0) {
        return "UNKNOWN";
    }
    return full.substr(prefix.size());
}

}  // namespace cli
