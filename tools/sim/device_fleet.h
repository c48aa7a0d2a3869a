#pragma once

// The behaviour of a fleet of simulated devices, without any networking:
// who answers a discovery request now, and what each device does with a
// configuration or localize request. Time is always passed in, so the rules
// are tested without waiting.

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "device_profile.h"

namespace sim {

using sim_clock = std::chrono::steady_clock;

struct fleet_timing {
    // Silence after an accepted change of the network settings, before the
    // device answers with its new settings.
    std::chrono::milliseconds reboot_time{5000};
    // How long a device stays in state LOCALIZE.
    std::chrono::milliseconds localize_time{5000};
};

struct configuration_change {
    std::string article_number;
    std::string serial_number;
    std::string name;
    std::string ip;
    std::string mask;
    std::string gateway;
    sdk::system::network_method_type method = sdk::system::network_method_type::UNKNOWN;
    std::string username;
    std::string password;
};

class device_fleet {
public:
    device_fleet(std::vector<device_profile> devices, fleet_timing timing,
                 sim_clock::time_point epoch);

    std::size_t size() const { return devices_.size(); }

    // The devices that answer a discovery request at `now`, in fleet order,
    // as they describe themselves at that moment (state LOCALIZE while they
    // localize). Silent devices (rebooting, flapping) are left out.
    std::vector<device_profile> responders(sim_clock::time_point now);

    // A device's answer to a configuration request; empty when no device of
    // the fleet has that identity or the device is silent.
    std::optional<sdk::system::operation_result> configure(const configuration_change& change,
                                                           sim_clock::time_point now);

    std::optional<sdk::system::operation_result> localize(const std::string& article_number,
                                                          const std::string& serial_number,
                                                          const std::string& username,
                                                          const std::string& password,
                                                          sim_clock::time_point now);

    // Current profile of one device (after applied changes); null if unknown.
    const device_profile* find(const std::string& article_number,
                               const std::string& serial_number) const;

    bool is_silent(const device_profile& device, sim_clock::time_point now) const;

private:
    struct device_runtime {
        device_profile profile;
        sim_clock::time_point rebooting_until{};
        std::optional<device_profile> after_reboot;
        sim_clock::time_point localizing_until{};
    };

    device_runtime* lookup(const std::string& article_number, const std::string& serial_number);
    void advance(device_runtime& device, sim_clock::time_point now);
    bool silent(const device_runtime& device, sim_clock::time_point now) const;
    bool credentials_match(const device_profile& device, const std::string& username,
                           const std::string& password) const;

    std::vector<device_runtime> devices_;
    std::unordered_map<std::string, std::size_t> index_;
    fleet_timing timing_;
    sim_clock::time_point epoch_;
};

// The address checks alone: usable host address, contiguous mask, gateway
// inside the subnet (or 0.0.0.0 for none).
sdk::system::operation_result check_addresses(const configuration_change& change);

// The checks a device makes on new network settings before it accepts
// them, the addressing method included; ACCEPTED when they are usable.
sdk::system::operation_result check_network_settings(const device_profile& device,
                                                     const configuration_change& change);

}  // namespace sim
