#include "commands.h"

#include <algorithm>
#include <stdexcept>

#include "exit_codes.h"
#include "outcome_text.h"
#include "settings_plan.h"

namespace cli {
namespace {

using namespace std::chrono_literals;
using sdk::system::operation_result;

std::chrono::milliseconds millis(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

// Three requests early in the wait: one lost datagram, either way, does not
// hide a device, and late answers still have time to arrive.
std::vector<found_device> scan_for(client& net, const options& o,
                                   const std::function<bool(const found_device&)>& done = {}) {
    const auto within = millis(o.timeout_s);
    const auto every = std::clamp<std::chrono::milliseconds>(within / 4, 50ms, 1000ms);
    return net.discover(within, every, 3, done);
}

const found_device* find_device(const std::vector<found_device>& devices, const std::string& id) {
    for (const auto& d : devices) {
        if (d.id == id) {
            return &d;
        }
    }
    return nullptr;
}

// Looks the device up; reports on err when it is not there.
std::optional<found_device> locate(client& net, const options& o, std::ostream& err) {
    const auto devices =
        scan_for(net, o, [&](const found_device& d) { return d.id == o.device_id; });
    if (const auto* device = find_device(devices, o.device_id)) {
        return *device;
    }
    err << "lanfinder-cli: device " << o.device_id << " did not answer within " << o.timeout_s
        << " s (" << devices.size() << " other device" << (devices.size() == 1 ? "" : "s")
        << " answered; see lanfinder-cli scan)\n";
    return std::nullopt;
}

void warn_if_incomplete(const client& net, std::ostream& err) {
    if (!net.last_send_complete()) {
        err << "lanfinder-cli: warning: the request did not go out on every card\n";
    }
}

void hint_credentials(operation_result result, const found_device& device, const options& o,
                      std::ostream& err) {
    if ((result == operation_result::NOT_AUTHORIZED ||
         result == operation_result::INVALID_RIGHTS) &&
        device.answer.authentication() && !o.user) {
        err << "lanfinder-cli: the device requires credentials: give --user\n";
    }
}

}  // namespace

credentials::~credentials() {
    volatile char* p = password.data();
    for (std::size_t i = 0; i < password.size(); ++i) {
        p[i] = '\0';
    }
}

int run_scan(client& net, const options& o, std::ostream& out, std::ostream& err) {
    const auto devices = scan_for(net, o);
    warn_if_incomplete(net, err);
    if (devices.empty()) {
        err << "lanfinder-cli: no device answered within " << o.timeout_s << " s\n";
        return exit_no_answer;
    }
    if (o.json) {
        auto sorted = devices;
        std::sort(sorted.begin(), sorted.end(),
                  [](const found_device& a, const found_device& b) { return a.id < b.id; });
        for (const auto& d : sorted) {
            out << device_json(d) << "\n";
        }
    } else {
        out << device_table(devices);
    }
    out.flush();
    return exit_success;
}

int run_set(client& net, const options& o, const credentials& login, std::ostream& out,
            std::ostream& err) {
    const auto device = locate(net, o, err);
    if (!device) {
        return exit_no_answer;
    }
    const wanted_settings w = settings_for(o, device->answer);
    const bool restarts = changes_network(w, device->answer);

    std::string request_id;
    try {
        request_id = net.send_configuration(*device, w.ip, w.mask, w.gateway, w.name, w.method,
                                            login.user, login.password);
    } catch (const std::invalid_argument& e) {
        err << "lanfinder-cli: the request was not sent: " << e.what() << "\n";
        return exit_usage;
    }
    warn_if_incomplete(net, err);
    if (request_id.empty()) {
        err << "lanfinder-cli: the request could not be sent\n";
        return exit_no_card;
    }
    const auto result = net.await_configuration(request_id, millis(o.timeout_s));
    if (!result) {
        err << "lanfinder-cli: no answer from " << device->id << " within " << o.timeout_s
            << " s\n";
        return exit_no_answer;
    }
    if (*result != operation_result::ACCEPTED) {
        out << configuration_outcome(*result) << "\n" << std::flush;
        hint_credentials(*result, *device, o, err);
        return exit_device_error;
    }
    if (!restarts) {
        out << configuration_outcome(*result) << "\n" << std::flush;
        return exit_success;
    }
    if (!o.wait_reboot) {
        out << "Configuration accepted; the device restarts with its new network settings\n"
            << std::flush;
        return exit_success;
    }
    out << "Configuration accepted; waiting for the device to restart\n" << std::flush;
    const auto within = millis(o.reboot_timeout_s);
    const int requests = static_cast<int>(within / 1000ms) + 1;
    const auto seen = net.discover(within, 1000ms, requests, [&](const found_device& d) {
        return d.id == device->id && shows(w, d.answer);
    });
    const auto* back = find_device(seen, device->id);
    if (back == nullptr || !shows(w, back->answer)) {
        out << "Configuration request operation timeout\n" << std::flush;
        err << "lanfinder-cli: " << device->id << " did not answer with its new settings within "
            << o.reboot_timeout_s << " s\n";
        return exit_no_answer;
    }
    out << "Configuration changed successfully (" << back->answer.ip() << ", "
        << method_text(back->answer.network_method()) << ")\n"
        << std::flush;
    return exit_success;
}

int run_localize(client& net, const options& o, const credentials& login, std::ostream& out,
                 std::ostream& err) {
    const auto device = locate(net, o, err);
    if (!device) {
        return exit_no_answer;
    }
    const std::string request_id = net.send_localize(*device, login.user, login.password);
    warn_if_incomplete(net, err);
    if (request_id.empty()) {
        err << "lanfinder-cli: the request could not be sent\n";
        return exit_no_card;
    }
    const auto result = net.await_localize(request_id, millis(o.timeout_s));
    if (!result) {
        err << "lanfinder-cli: no answer from " << device->id << " within " << o.timeout_s
            << " s\n";
        return exit_no_answer;
    }
    out << localize_outcome(*result) << "\n" << std::flush;
    if (*result != operation_result::ACCEPTED) {
        hint_credentials(*result, *device, o, err);
        return exit_device_error;
    }
    return exit_success;
}

}  // namespace cli
