#pragma once

// The simulator's command line.

#include <stdexcept>
#include <string>
#include <vector>

#include "device_fleet.h"
#include "fleet_file.h"

namespace sim {

struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct options {
    // Addresses to answer on: "ip/prefix" or "ip/mask", and interface names
    // whose IPv4 addresses are all taken.
    std::vector<std::string> cards;
    std::vector<std::string> interfaces;

    std::string fleet_file;
    fleet_plan plan;
    bool subnet_given = false;
    bool start_given = false;
    fleet_timing timing;

    int jitter_ms = 0;
    double loss = 0.0;
    double duration_s = 0.0;  // 0: until SIGINT or SIGTERM

    bool allow_host_network = false;
    bool dump_fleet = false;
    bool list = false;
    bool verbose = false;
    bool help = false;
};

// Throws usage_error with a message that names the offending option.
options parse_options(const std::vector<std::string>& args);

std::string usage_text();

}  // namespace sim
