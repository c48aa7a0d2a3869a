#pragma once

// The command line of lanfinder-cli: one command, its device id and options.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// A command line that cannot be run; the text names what is wrong.
struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class command { none, scan, set, localize, apply };

// Addressing method a set command asks for; keep means the device's current one.
enum class method_choice { keep, dhcp, persistent };

struct options {
    command what = command::none;
    // Lower-cased "<article>_<serial>".
    std::string device_id;

    std::string interface_name;
    double timeout_s = 3.0;
    bool verbose = false;
    bool help = false;

    // scan and apply
    bool json = false;

    // set
    std::optional<std::string> ip;
    std::optional<std::string> mask;
    std::optional<std::string> gateway;
    std::optional<std::string> name;
    method_choice method = method_choice::keep;
    bool wait_reboot = false;
    double reboot_timeout_s = 120.0;

    // apply
    std::string plan_path;
    bool dry_run = false;
    int parallel = 8;

    // set, localize and apply
    std::optional<std::string> user;
    bool password_stdin = false;
};

// Throws usage_error. With --help anywhere, the rest is checked only as far
// as needed to know which command's help to show.
options parse_options(const std::vector<std::string>& args);

// The help text of one command, or of the program for command::none.
std::string usage_text(command what);

}  // namespace cli
