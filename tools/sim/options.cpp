#include "options.h"

#include <cerrno>
#include <cstdlib>

namespace sim {
namespace {

struct cursor {
    const std::vector<std::string>& args;
    std::size_t i = 0;

    std::string value(const std::string& option) {
        if (i + 1 >= args.size()) {
            throw usage_error(option + " needs a value");
        }
        return args[++i];
    }
};

long long integer(const std::string& option, const std::string& text, long long low,
                  long long high) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < low || v > high) {
        throw usage_error(option + " expects a whole number from " + std::to_string(low) + " to " +
                          std::to_string(high) + ", not \"" + text + "\"");
    }
    return v;
}

double real(const std::string& option, const std::string& text, double low, double high) {
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(v >= low && v <= high)) {
        throw usage_error(option + " expects a number from " + std::to_string(low) + " to " +
                          std::to_string(high) + ", not \"" + text + "\"");
    }
    return v;
}

std::chrono::milliseconds seconds(const std::string& option, const std::string& text) {
    return std::chrono::milliseconds(static_cast<long long>(real(option, text, 0, 86400) * 1000));
}

}  // namespace

options parse_options(const std::vector<std::string>& args) {
    options o;
    cursor c{args};
    for (; c.i < args.size(); ++c.i) {
        const std::string& a = args[c.i];
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--card") {
            std::string v = c.value(a);
            if (!ipv4::parse_cidr(v)) {
                throw usage_error(
                    "--card expects an address with its mask, like 10.10.1.2/24, not \"" + v +
                    "\"");
            }
            o.cards.push_back(v);
        } else if (a == "--interface") {
            o.interfaces.push_back(c.value(a));
        } else if (a == "--fleet") {
            o.fleet_file = c.value(a);
        } else if (a == "--count") {
            o.plan.count = static_cast<int>(integer(a, c.value(a), 0, 1000000));
        } else if (a == "--seed") {
            o.plan.seed = static_cast<std::uint64_t>(integer(a, c.value(a), 0, 1LL << 62));
        } else if (a == "--subnet") {
            std::string v = c.value(a);
            auto subnet = ipv4::parse_cidr(v);
            if (!subnet) {
                throw usage_error("--subnet expects a network like 10.10.1.0/24, not \"" + v +
                                  "\"");
            }
            o.plan.subnet = *subnet;
            o.subnet_given = true;
        } else if (a == "--start") {
            std::string v = c.value(a);
            auto start = ipv4::parse(v);
            if (!start) {
                throw usage_error("--start expects an IPv4 address, not \"" + v + "\"");
            }
            o.plan.start = *start;
            o.start_given = true;
        } else if (a == "--outside") {
            o.plan.outside = static_cast<int>(integer(a, c.value(a), 0, 1000000));
        } else if (a == "--with-credentials") {
            o.plan.with_credentials = static_cast<int>(integer(a, c.value(a), 0, 1000000));
        } else if (a == "--flapping") {
            o.plan.flapping = static_cast<int>(integer(a, c.value(a), 0, 1000000));
        } else if (a == "--flap-period") {
            o.plan.flap_period_s = static_cast<int>(integer(a, c.value(a), 1, 86400));
        } else if (a == "--flap-silent") {
            o.plan.flap_silent_s = static_cast<int>(integer(a, c.value(a), 0, 86400));
        } else if (a == "--busy") {
            o.plan.busy = static_cast<int>(integer(a, c.value(a), 0, 1000000));
        } else if (a == "--deaf") {
            o.plan.deaf = static_cast<int>(integer(a, c.value(a), 0, 1000000));
        } else if (a == "--reboot-time") {
            o.timing.reboot_time = seconds(a, c.value(a));
        } else if (a == "--localize-time") {
            o.timing.localize_time = seconds(a, c.value(a));
        } else if (a == "--jitter") {
            o.jitter_ms = static_cast<int>(integer(a, c.value(a), 0, 60000));
        } else if (a == "--loss") {
            o.loss = real(a, c.value(a), 0.0, 1.0);
        } else if (a == "--duration") {
            o.duration_s = real(a, c.value(a), 0.0, 31 * 86400.0);
        } else if (a == "--allow-host-network") {
            o.allow_host_network = true;
        } else if (a == "--dump-fleet") {
            o.dump_fleet = true;
        } else if (a == "--list") {
            o.list = true;
        } else if (a == "--verbose") {
            o.verbose = true;
        } else {
            throw usage_error("unknown option \"" + a + "\" (see --help)");
        }
    }
    if (o.plan.flap_silent_s >= o.plan.flap_period_s) {
        throw usage_error("--flap-silent must be shorter than --flap-period");
    }
    if (!o.fleet_file.empty() &&
        (o.subnet_given || o.start_given || o.plan.outside || o.plan.with_credentials ||
         o.plan.flapping || o.plan.busy || o.plan.deaf)) {
        throw usage_error(
            "--fleet takes the devices from the file; the generator options do not apply");
    }
    if (!o.help && !o.dump_fleet && o.cards.empty() && o.interfaces.empty()) {
        throw usage_error("say where to answer: --card IP/MASK or --interface NAME (see --help)");
    }
    return o;
}

std::string usage_text() {
    return R"(lanfinder-sim: a fleet of simulated devices for lanfinder's discovery protocol.

Usage: lanfinder-sim (--card IP/MASK | --interface NAME)... [fleet] [behaviour]

Run it inside a network namespace made with "ip netns add" (see scripts/lab):
it answers broadcast requests and broadcasts answers on every address it is
given. Anywhere else it only runs on loopback addresses unless
--allow-host-network is given.

Where to answer (one engine, one UDP endpoint per address, port 33001; every
device answers through every address, so to put fleets behind different
networks run one simulator per network, as scripts/lab does):
  --card IP/MASK          an address of this namespace, e.g. 10.10.1.2/24
  --interface NAME        every IPv4 address of that interface

Fleet (generated from a seed unless --fleet is given):
  --fleet FILE            devices from a JSON file ({"devices": [...]}, see --dump-fleet)
  --count N               number of devices (default 12)
  --seed S                seed of the generator (default 1); same seed, same fleet
  --subnet CIDR           devices' subnet (default: the first card's subnet)
  --start IP              first device address (default: the subnet's 10th host)
  --outside N             N devices addressed in another subnet, as if moved
                          from elsewhere (lanfinder shows them inaccessible)
  --with-credentials N    N devices require user "admin", password "vostrel"
  --flapping N            N devices fall silent periodically
  --flap-period S         ... once every S seconds (default 20)
  --flap-silent S         ... for S seconds (default 6)
  --busy N                N devices answer every request with BUSY
  --deaf N                N devices answer discovery but no other request

Behaviour:
  --reboot-time S         silence after an accepted change of the network
                          settings, before the new settings show (default 5)
  --localize-time S       how long a device shows state LOCALIZE (default 5)
  --jitter MS             delay every answer by a random 0..MS milliseconds
  --loss P                drop each discovery answer with probability P (0..1)
  --duration S            stop after S seconds (default: run until Ctrl-C)

Output:
  --dump-fleet            print the fleet as JSON and exit
  --list                  print the device table at start (always for <= 40 devices)
  --verbose               also show every datagram the protocol library sends
  --allow-host-network    answer on the machine's own cards (never in a lab)
  -h, --help              this text

Devices answer configuration requests as real ones do: wrong credentials
give NOT_AUTHORIZED; reserved addresses (0.0.0.0, 127.x, 169.254.x,
multicast, broadcast, the subnet's own network or broadcast address) give
RESERVED_IP; a mask with holes, a gateway outside the subnet or a method the
device cannot do give INVALID_NETWORK_CONFIG; a name longer than 64 bytes or
with control characters gives INVALID_USER_NAME. A new name alone is taken
at once; new network settings are ACCEPTED, then the device is silent for
the reboot time and comes back with them. Localize is ACCEPTED (state
LOCALIZE for a while), or NOT_SUPPORTED without the capability.

When every endpoint is bound it prints "lanfinder-sim: ready: ..." on
standard output.
)";
}

}  // namespace sim
