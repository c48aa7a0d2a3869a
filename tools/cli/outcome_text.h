#pragma once

// A device's answer in words, as the lanfinder program tells its users.

#include <string>

#include <beacon/system_types.h>

namespace cli {

std::string configuration_outcome(sdk::system::operation_result result);
std::string localize_outcome(sdk::system::operation_result result);

// "DHCP", "PersistentIP" or "Unknown".
std::string method_text(sdk::system::network_method_type method);
// The state without its "DeviceState_" prefix; "UNKNOWN" for other values.
std::string state_text(DeviceAdministrationFbbApi::DeviceState state);

}  // namespace cli
