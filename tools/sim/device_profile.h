#pragma once

// What one simulated device is: its identity, its network settings and its
// character (credentials, flapping, busy). Plain data; the fleet gives it
// behaviour.

#include <cstdint>
#include <string>
#include <vector>

#include <beacon/system_types.h>

namespace sim {

// A device that falls silent for silent_s seconds out of every period_s,
// starting phase_s seconds into the period. period_s 0 means never.
struct flap_schedule {
    int period_s = 0;
    int silent_s = 0;
    int phase_s = 0;
};

struct device_profile {
    std::string article_number;
    std::string serial_number;
    std::string mac = "02:00:00:00:00:01";
    std::string hardware_version;
    std::string firmware_version;
    std::string device_type;
    std::string manufacturer;
    std::string manufacture_date;
    std::string name;
    std::string ip;
    std::string mask = "255.255.255.0";
    std::string gateway = "0.0.0.0";
    sdk::system::network_method_type method = sdk::system::network_method_type::PERSISTENT_IP;
    // Wire form of the device state: "ACTIVE", "WARNING", "ERROR".
    std::string state = "ACTIVE";
    std::int64_t status_value = 0;
    std::vector<std::string> info;
    std::uint32_t capabilities = 11;  // DHCP, persistent address, localize
    // Devices that require credentials accept only this pair.
    bool authentication = false;
    std::string username;
    std::string password;
    flap_schedule flap;
    // Answers every configuration and localize request with BUSY.
    bool busy = false;
    // Answers discovery but never a configuration or localize request, as a
    // device whose request handling has hung.
    bool deaf = false;

    std::string url() const { return "http://" + ip + "/"; }
    bool has_capability(sdk::system::capabilities flag) const {
        auto bits = static_cast<std::uint32_t>(flag);
        return (capabilities & bits) == bits;
    }
};

}  // namespace sim
