#include "outcome_text.h"

#include "device/OutcomeText.h"

namespace cli {

using sdk::system::operation_result;

std::string configuration_outcome(operation_result result) {
    return configurationOutcome(result);
}

std::string localize_outcome(operation_result result) {
    // The program posts these two as identifiers for the browser to word; a
    // terminal has no translations, so they are worded here.
    switch (result) {
        case operation_result::ACCEPTED:
            return "Device is localizing";
        case operation_result::ERROR:
            return "Error while localizing the device";
        default:
            break;
    }
    return localizeOutcome(result);
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
