#include "options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <set>

#include "ipv4text/ipv4_text.h"

namespace cli {
namespace {

struct option_rule {
    const char* name;
    bool takes_value;
    std::set<command> commands;
};

const std::set<command> all_commands = {command::scan, command::set, command::localize,
                                        command::apply};
const std::set<command> configuring = {command::set, command::localize, command::apply};

const std::vector<option_rule>& rules() {
    static const std::vector<option_rule> table = {
        {"--interface", true, all_commands},
        {"--timeout", true, all_commands},
        {"--verbose", false, all_commands},
        {"--json", false, {command::scan, command::apply}},
        {"--dry-run", false, {command::apply}},
        {"--parallel", true, {command::apply}},
        {"--ip", true, {command::set}},
        {"--mask", true, {command::set}},
        {"--gateway", true, {command::set}},
        {"--name", true, {command::set}},
        {"--dhcp", false, {command::set}},
        {"--static", false, {command::set}},
        {"--wait-reboot", false, {command::set}},
        {"--reboot-timeout", true, {command::set}},
        {"--user", true, configuring},
        {"--password-stdin", false, configuring},
    };
    return table;
}

const option_rule* find_rule(const std::string& name) {
    for (const auto& rule : rules()) {
        if (name == rule.name) {
            return &rule;
        }
    }
    return nullptr;
}

std::optional<command> command_named(const std::string& word) {
    if (word == "scan") {
        return command::scan;
    }
    if (word == "set") {
        return command::set;
    }
    if (word == "localize") {
        return command::localize;
    }
    if (word == "apply") {
        return command::apply;
    }
    return std::nullopt;
}

std::string command_word(command what) {
    switch (what) {
        case command::scan:
            return "scan";
        case command::set:
            return "set";
        case command::localize:
            return "localize";
        case command::apply:
            return "apply";
        case command::none:
            break;
    }
    return "";
}

double seconds(const std::string& option, const std::string& text, double most) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || value <= 0 ||
        value > most) {
        throw usage_error(option + " expects seconds above 0 and at most " +
                          std::to_string(static_cast<int>(most)) + ", not \"" + text + "\"");
    }
    return value;
}

int count(const std::string& option, const std::string& text, int most) {
    const bool digits =
        !text.empty() && text.size() <= 3 &&
        std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
    const int value = digits ? std::stoi(text) : 0;
    if (value < 1 || value > most) {
        throw usage_error(option + " expects a whole number from 1 to " + std::to_string(most) +
                          ", not \"" + text + "\"");
    }
    return value;
}

std::string address(const std::string& option, const std::string& text) {
    if (!ipv4text::parse(text)) {
        throw usage_error(option + " expects a dotted IPv4 address like 192.168.0.10, not \"" +
                          text + "\"");
    }
    return text;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void apply(options& o, const std::string& name, const std::string& value) {
    if (name == "--interface") {
        if (value.empty()) {
            throw usage_error("--interface needs a card name");
        }
        o.interface_name = value;
    } else if (name == "--timeout") {
        o.timeout_s = seconds(name, value, 600);
    } else if (name == "--verbose") {
        o.verbose = true;
    } else if (name == "--json") {
        o.json = true;
    } else if (name == "--dry-run") {
        o.dry_run = true;
    } else if (name == "--parallel") {
        o.parallel = count(name, value, 64);
    } else if (name == "--ip") {
        o.ip = address(name, value);
    } else if (name == "--mask") {
        o.mask = address(name, value);
    } else if (name == "--gateway") {
        o.gateway = address(name, value);
    } else if (name == "--name") {
        o.name = value;
    } else if (name == "--dhcp" || name == "--static") {
        const auto wanted = name == "--dhcp" ? method_choice::dhcp : method_choice::persistent;
        if (o.method != method_choice::keep && o.method != wanted) {
            throw usage_error("--dhcp and --static exclude each other");
        }
        o.method = wanted;
    } else if (name == "--wait-reboot") {
        o.wait_reboot = true;
    } else if (name == "--reboot-timeout") {
        o.reboot_timeout_s = seconds(name, value, 3600);
    } else if (name == "--user") {
        o.user = value;
    } else if (name == "--password-stdin") {
        o.password_stdin = true;
    }
}

void check_set(const options& o) {
    const bool addresses = o.ip || o.mask || o.gateway;
    if (o.method == method_choice::dhcp && addresses) {
        throw usage_error(
            "--dhcp takes the address from the network: leave out --ip, --mask and --gateway");
    }
    if (!addresses && !o.name && o.method == method_choice::keep) {
        throw usage_error(
            "nothing to change: give --ip, --mask, --gateway, --dhcp, --static or --name");
    }
}

}  // namespace

options parse_options(const std::vector<std::string>& args) {
    options o;
    std::vector<std::string> words;
    std::vector<std::pair<std::string, std::string>> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            o.help = true;
            continue;
        }
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (!arg.empty() && arg[0] == '-' && arg != "-") {
                throw usage_error("unknown option \"" + arg + "\" (see --help)");
            }
            words.push_back(arg);
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        const auto equals = arg.find('=');
        if (equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        if (name == "--password") {
            throw usage_error(
                "passwords are never taken from the command line: use --password-stdin or "
                "answer the prompt");
        }
        const option_rule* rule = find_rule(name);
        if (rule == nullptr) {
            throw usage_error("unknown option \"" + name + "\" (see --help)");
        }
        if (rule->takes_value && !value) {
            if (i + 1 >= args.size()) {
                throw usage_error(name + " needs a value");
            }
            value = args[++i];
        } else if (!rule->takes_value && value) {
            throw usage_error(name + " takes no value");
        }
        given.emplace_back(name, value.value_or(""));
    }

    if (!words.empty()) {
        const auto named = command_named(words.front());
        if (!named) {
            throw usage_error("unknown command \"" + words.front() +
                              "\": use scan, set, localize or apply (see --help)");
        }
        o.what = *named;
    }
    if (o.help) {
        return o;
    }
    if (o.what == command::none) {
        throw usage_error("say what to do: scan, set, localize or apply (see --help)");
    }

    for (const auto& [name, value] : given) {
        if (find_rule(name)->commands.count(o.what) == 0) {
            throw usage_error(name + " does not apply to " + command_word(o.what) +
                              " (see lanfinder-cli " + command_word(o.what) + " --help)");
        }
        apply(o, name, value);
    }

    const std::size_t wanted_words = o.what == command::scan ? 1 : 2;
    if (words.size() < wanted_words) {
        throw usage_error(o.what == command::apply
                              ? std::string("apply needs the plan file (CSV or JSON)")
                              : command_word(o.what) + " needs the device id <article>_<serial>");
    }
    if (words.size() > wanted_words) {
        throw usage_error("unexpected argument \"" + words[wanted_words] + "\" (see --help)");
    }
    if (o.what == command::apply) {
        o.plan_path = words[1];
    } else if (o.what != command::scan) {
        const std::string& id = words[1];
        const auto cut = id.find('_');
        if (cut == std::string::npos || cut == 0 || cut + 1 == id.size()) {
            throw usage_error("device id \"" + id + "\" is not <article>_<serial>");
        }
        o.device_id = lower(id);
    }
    if (o.what == command::set) {
        check_set(o);
    }
    if (o.password_stdin && !o.user) {
        throw usage_error("--password-stdin needs --user");
    }
    return o;
}

std::string usage_text(command what) {
    const std::string common =
        "  --interface NAME     use only this card (default: every wired Ethernet card that\n"
        "                       is up and has an IPv4 address)\n"
        "  --timeout S          seconds to wait for answers (default 3)\n"
        "  --verbose            show the datagrams sent on standard error\n"
        "  -h, --help           this text\n";
    const std::string credentials =
        "  --user U             the device's user name, for devices that require one\n"
        "  --password-stdin     read the password from the first line of standard input\n"
        "                       (without it, --user asks for the password on the terminal)\n";
    switch (what) {
        case command::scan:
            return "Usage: lanfinder-cli scan [--timeout S] [--json] [--interface NAME]\n\n"
                   "Asks every device on the cards for its identity and settings and prints\n"
                   "one line per device. The request is repeated within the timeout, so a\n"
                   "lost datagram does not hide a device.\n\n"
                   "  --json               one JSON object per line instead of a table\n" +
                   common;
        case command::set:
            return "Usage: lanfinder-cli set <article>_<serial> [--ip A] [--mask M] [--gateway G]\n"
                   "                        [--dhcp | --static] [--name N]\n"
                   "                        [--user U [--password-stdin]] [--wait-reboot]\n\n"
                   "Changes a device's name and network settings. Settings left out keep the\n"
                   "device's current values (learnt by a scan first). Giving an address means\n"
                   "a persistent address unless --dhcp is given; a DHCP request carries the\n"
                   "device's current addresses.\n\n"
                   "  --ip A, --mask M, --gateway G   dotted IPv4 addresses\n"
                   "  --dhcp               take the address from a DHCP server\n"
                   "  --static             keep a persistent address\n"
                   "  --name N             the device's user-defined name\n"
                   "  --wait-reboot        after an accepted address change, wait until the\n"
                   "                       device answers with its new settings\n"
                   "  --reboot-timeout S   how long --wait-reboot waits (default 120)\n" +
                   credentials + common;
        case command::localize:
            return "Usage: lanfinder-cli localize <article>_<serial> [--user U "
                   "[--password-stdin]]\n\n"
                   "Asks a device to make itself noticeable.\n\n" +
                   credentials + common;
        case command::apply:
            return "Usage: lanfinder-cli apply PLAN.csv|PLAN.json [--dry-run] [--parallel N]\n"
                   "                        [--user U [--password-stdin]] [--json]\n\n"
                   "Applies one plan of changes to many devices. The plan has one row per\n"
                   "device, found by serialNumber, mac or id among the devices a scan finds,\n"
                   "with any of name, ip, subnetMask, defaultGateway and networkMethod (DHCP\n"
                   "or PersistentIP); a missing cell keeps the device's current value. A CSV\n"
                   "plan has a header row and \",\" or \";\" between cells; a JSON plan (a file\n"
                   "ending in .json) is an array of objects.\n\n"
                   "Rows matching no device or several, invalid addresses, addresses in use\n"
                   "by another device and addresses planned twice fail before anything is\n"
                   "sent, and so do two rows for one device. Prints one line per row:\n"
                   "device, change, done/failed/cancelled and the device's answer. Exit 0\n"
                   "only when every row is done.\n\n"
                   "  --dry-run            show the planned changes and problems, send nothing\n"
                   "  --parallel N         requests waiting for answers at once (default 8)\n"
                   "  --json               one JSON object per row instead of lines\n" +
                   credentials + common;
        case command::none:
            break;
    }
    return "lanfinder-cli: find and configure the devices on this computer's wired networks.\n\n"
           "Usage: lanfinder-cli <command> [options]   (lanfinder-cli <command> --help)\n\n"
           "Commands:\n"
           "  scan                         list the devices that answer\n"
           "  set <article>_<serial> ...   change a device's name and network settings\n"
           "  localize <article>_<serial>  make a device noticeable\n"
           "  apply PLAN.csv|PLAN.json     apply one plan of changes to many devices\n\n"
           "The device id is the article and serial number joined by \"_\", in any case.\n"
           "Passwords are read from standard input (--password-stdin) or asked for on the\n"
           "terminal, never taken from the command line.\n\n"
           "Exit status:\n"
           "  0  success\n"
           "  1  the device answered with an error (not authorized, busy, ...); for\n"
           "     apply: a row was not done\n"
           "  2  usage error\n"
           "  3  device not found, no answer, or no return after a restart\n"
           "  4  no usable card, or the response port 33002 cannot be bound\n";
}

}  // namespace cli
