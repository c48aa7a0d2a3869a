#pragma once

// What a set command asks of a device: the options given, the device's
// current values for the rest.

#include <string>

#include <beacon/discovery_response.h>

#include "options.h"

namespace cli {

struct wanted_settings {
    std::string ip;
    std::string mask;
    std::string gateway;
    std::string name;
    sdk::system::network_method_type method = sdk::system::network_method_type::UNKNOWN;
};

// A given address means a persistent address unless --dhcp says otherwise;
// a DHCP request still carries the current addresses, which the protocol
// requires to be dotted addresses.
wanted_settings settings_for(const options& o, const dp::discovery_response& now);

// True when the device restarts to apply w (the name alone does not count).
bool changes_network(const wanted_settings& w, const dp::discovery_response& now);

// True when the answer shows w in force. Under DHCP the addresses are the
// server's choice, so only the method and the name are compared.
bool shows(const wanted_settings& w, const dp::discovery_response& answer);

}  // namespace cli
