#pragma once

// A fleet of device profiles, either generated from a seed or read from a
// JSON file, and written back as JSON (so a generated fleet can be saved,
// edited and replayed).

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "device_profile.h"
#include "ipv4.h"

namespace sim {

struct fleet_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct fleet_plan {
    std::uint64_t seed = 1;
    int count = 12;
    // Devices take consecutive host addresses of subnet from start on.
    ipv4::cidr subnet{0x0a0a0100u, 0xffffff00u};  // 10.10.1.0/24
    std::uint32_t start = 0x0a0a010au;            // 10.10.1.10
    // How many devices get each character; every character goes to other
    // devices as long as the fleet is large enough.
    int outside = 0;
    int with_credentials = 0;
    int flapping = 0;
    int busy = 0;
    int deaf = 0;
    int flap_period_s = 20;
    int flap_silent_s = 6;
};

// The credentials of generated devices that require them.
inline constexpr const char* generated_username = "admin";
inline constexpr const char* generated_password = "vostrel";

// Throws fleet_error when the subnet has too few host addresses.
std::vector<device_profile> generate_fleet(const fleet_plan& plan);

// Throws fleet_error naming the device and the key for anything malformed,
// and for two devices with the same article and serial number.
std::vector<device_profile> parse_fleet(const std::string& json_text);
std::vector<device_profile> read_fleet_file(const std::string& path);

std::string write_fleet(const std::vector<device_profile>& devices);

}  // namespace sim
