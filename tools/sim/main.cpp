// lanfinder-sim: a fleet of simulated devices that answers lanfinder's
// discovery, configuration and localize requests. See --help.

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iostream>

#include <beacon/device_protocol.h>
#include <beacon/protocol_exception.h>

#include "cards.h"
#include "device_fleet.h"
#include "fleet_file.h"
#include "ipv4.h"
#include "options.h"
#include "simulator.h"

namespace {

std::atomic<bool> stop_requested{false};

void on_signal(int) {
    stop_requested = true;
}

void print_table(std::ostream& out, const std::vector<sim::device_profile>& fleet) {
    out << std::left << std::setw(16) << "ip" << std::setw(24) << "id" << std::setw(19) << "type"
        << std::setw(8) << "state"
        << "notes\n";
    for (const auto& d : fleet) {
        std::string notes;
        if (d.authentication) {
            notes += " credentials " + d.username + "/" + d.password;
        }
        if (d.flap.period_s > 0) {
            notes += " flapping(" + std::to_string(d.flap.silent_s) + "s of " +
                     std::to_string(d.flap.period_s) + "s)";
        }
        if (d.busy) {
            notes += " busy";
        }
        if (d.deaf) {
            notes += " deaf";
        }
        out << std::setw(16) << d.ip << std::setw(24) << (d.article_number + "_" + d.serial_number)
            << std::setw(19) << d.device_type << std::setw(8) << d.state << notes << "\n";
    }
    out << std::flush;
}

int run(const sim::options& o, std::ostream& out) {
    std::vector<dp::network_card_info> cards;
    if (!o.cards.empty() || !o.interfaces.empty()) {
        cards = sim::resolve_cards(o.cards, o.interfaces);
    }

    std::vector<sim::device_profile> fleet;
    if (!o.fleet_file.empty()) {
        fleet = sim::read_fleet_file(o.fleet_file);
    } else {
        sim::fleet_plan plan = o.plan;
        if (!o.subnet_given && !cards.empty()) {
            // Devices live on the wire of the first card unless told otherwise.
            auto first = sim::ipv4::parse_cidr(cards.front().ip + "/" + cards.front().mask);
            plan.subnet = {first->network(), first->mask};
        }
        if (!o.start_given) {
            plan.start = plan.subnet.network() + 10;
        }
        fleet = sim::generate_fleet(plan);
    }
    if (o.dump_fleet) {
        out << sim::write_fleet(fleet);
        return 0;
    }

    if (!sim::in_named_network_namespace() && !sim::all_loopback(cards) && !o.allow_host_network) {
        std::cerr
            << "lanfinder-sim: refusing to answer on this machine's own network cards; run me "
               "inside a namespace made with \"ip netns add\" (scripts/lab up), or use "
               "loopback addresses, or pass --allow-host-network\n";
        return 2;
    }

    std::unique_ptr<dp::idevice_protocol> engine;
    try {
        engine = dp::device_protocol::instance(dp::device_protocol::device, cards);
    } catch (const std::exception& e) {
        std::cerr << "lanfinder-sim: cannot open the protocol endpoints: " << e.what() << "\n";
        return 1;
    }

    std::size_t count = fleet.size();
    bool table = o.list || count <= 40;
    std::vector<sim::device_profile> listed = table ? fleet : std::vector<sim::device_profile>{};
    auto start = sim::sim_clock::now();
    sim::device_fleet devices(std::move(fleet), o.timing, start);
    sim::simulator simulator(std::move(engine), devices,
                             {o.jitter_ms, o.loss, o.plan.seed ^ 0x5eedu}, out);
    if (table) {
        print_table(out, listed);
    }
    out << "lanfinder-sim: ready: " << count << " devices answering on";
    for (const auto& c : cards) {
        out << " " << c.ip << "/"
            << sim::ipv4::prefix_of_mask(*sim::ipv4::parse(c.mask)).value_or(0);
    }
    out << std::endl;

    auto deadline =
        o.duration_s > 0
            ? start + std::chrono::milliseconds(static_cast<long long>(o.duration_s * 1000))
            : sim::sim_clock::time_point::max();
    simulator.run(deadline, stop_requested);

    const auto& n = simulator.counts();
    out << "lanfinder-sim: stopped: " << n.discovery_requests << " discovery, "
        << n.configuration_requests << " configuration and " << n.localize_requests
        << " localize requests; " << n.answers_sent << " answers sent, " << n.answers_failed
        << " failed, " << n.answers_dropped << " dropped on purpose" << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    sim::options o;
    try {
        o = sim::parse_options(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const sim::usage_error& e) {
        std::cerr << "lanfinder-sim: " << e.what() << "\n";
        return 2;
    }
    if (o.help) {
        std::cout << sim::usage_text();
        return 0;
    }

    // The protocol library reports every datagram on standard output; our
    // own lines keep the original stream and the library's go to /dev/null
    // unless --verbose asks for them.
    std::ofstream own;
    std::ostream* out = &std::cout;
    int saved = -1;
    if (!o.verbose && !o.dump_fleet) {
        std::cout.flush();
        saved = dup(STDOUT_FILENO);
        if (saved >= 0 && std::freopen("/dev/null", "w", stdout)) {
            own.open("/proc/self/fd/" + std::to_string(saved));
            if (own) {
                out = &own;
            }
        }
    }

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    try {
        return run(o, *out);
    } catch (const std::exception& e) {
        std::cerr << "lanfinder-sim: " << e.what() << "\n";
        return 1;
    }
}
