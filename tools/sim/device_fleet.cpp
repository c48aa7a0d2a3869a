#include "device_fleet.h"

#include "ipv4.h"

namespace sim {
namespace {

using sdk::system::capabilities;
using sdk::system::network_method_type;
using sdk::system::operation_result;

std::string key_of(const std::string& article_number, const std::string& serial_number) {
    // A newline cannot occur in either number on the wire, so the pair is
    // unambiguous.
    return article_number + "\n" + serial_number;
}

bool network_differs(const device_profile& d, const configuration_change& c) {
    return d.ip != c.ip || d.mask != c.mask || d.gateway != c.gateway || d.method != c.method;
}

constexpr std::size_t max_name_length = 64;

bool name_is_usable(const std::string& name) {
    if (name.size() > max_name_length) {
        return false;
    }
    for (unsigned char ch : name) {
        if (ch < 0x20 || ch == 0x7f) {
            return false;
        }
    }
    return true;
}

}  // namespace

operation_result check_addresses(const configuration_change& change) {
    auto ip = ipv4::parse(change.ip);
    auto mask = ipv4::parse(change.mask);
    auto gateway = ipv4::parse(change.gateway);
    if (!ip || !mask || !gateway) {
        return operation_result::INVALID_NETWORK_CONFIG;
    }
    if (ipv4::is_reserved_host(*ip)) {
        return operation_result::RESERVED_IP;
    }
    auto prefix = ipv4::prefix_of_mask(*mask);
    // A /31 or /32 leaves no room for a host with neighbours.
    if (!prefix || *prefix == 0 || *prefix > 30) {
        return operation_result::INVALID_NETWORK_CONFIG;
    }
    ipv4::cidr subnet{*ip, *mask};
    if (*ip == subnet.network() || *ip == subnet.broadcast()) {
        return operation_result::RESERVED_IP;
    }
    if (*gateway != 0 && (!subnet.contains(*gateway) || *gateway == *ip ||
                          *gateway == subnet.network() || *gateway == subnet.broadcast())) {
        return operation_result::INVALID_NETWORK_CONFIG;
    }
    return operation_result::ACCEPTED;
}

operation_result check_network_settings(const device_profile& device,
                                        const configuration_change& change) {
    switch (change.method) {
        case network_method_type::DHCP:
            // The server hands out the address; what the request carries
            // need not be usable.
            return device.has_capability(capabilities::SUPPORTS_DHCP)
                       ? operation_result::ACCEPTED
                       : operation_result::INVALID_NETWORK_CONFIG;
        case network_method_type::PERSISTENT_IP:
            if (!device.has_capability(capabilities::SUPPORTS_PERSISTENT_IP)) {
                return operation_result::INVALID_NETWORK_CONFIG;
            }
            return check_addresses(change);
        default:
            return operation_result::INVALID_NETWORK_CONFIG;
    }
}

device_fleet::device_fleet(std::vector<device_profile> devices, fleet_timing timing,
                           sim_clock::time_point epoch)
    : timing_(timing), epoch_(epoch) {
    devices_.reserve(devices.size());
    for (auto& d : devices) {
        index_.emplace(key_of(d.article_number, d.serial_number), devices_.size());
        devices_.push_back(device_runtime{std::move(d), {}, std::nullopt, {}});
    }
}

device_fleet::device_runtime* device_fleet::lookup(const std::string& article_number,
                                                   const std::string& serial_number) {
    auto it = index_.find(key_of(article_number, serial_number));
    return it == index_.end() ? nullptr : &devices_[it->second];
}

const device_profile* device_fleet::find(const std::string& article_number,
                                         const std::string& serial_number) const {
    auto it = index_.find(key_of(article_number, serial_number));
    return it == index_.end() ? nullptr : &devices_[it->second].profile;
}

void device_fleet::advance(device_runtime& device, sim_clock::time_point now) {
    if (device.after_reboot && now >= device.rebooting_until) {
        device.profile = std::move(*device.after_reboot);
        device.after_reboot.reset();
    }
}

bool device_fleet::silent(const device_runtime& device, sim_clock::time_point now) const {
    if (device.after_reboot && now < device.rebooting_until) {
        return true;
    }
    const auto& flap = device.profile.flap;
    if (flap.period_s <= 0 || flap.silent_s <= 0) {
        return false;
    }
    auto period_ms = static_cast<long long>(flap.period_s) * 1000;
    auto since = std::chrono::duration_cast<std::chrono::milliseconds>(now - epoch_).count() +
                 static_cast<long long>(flap.phase_s) * 1000;
    auto in_period = ((since % period_ms) + period_ms) % period_ms;
    return in_period >= period_ms - static_cast<long long>(flap.silent_s) * 1000;
}

bool device_fleet::is_silent(const device_profile& device, sim_clock::time_point now) const {
    auto it = index_.find(key_of(device.article_number, device.serial_number));
    return it != index_.end() && silent(devices_[it->second], now);
}

bool device_fleet::credentials_match(const device_profile& device, const std::string& username,
                                     const std::string& password) const {
    return !device.authentication || (username == device.username && password == device.password);
}

std::vector<device_profile> device_fleet::responders(sim_clock::time_point now) {
    std::vector<device_profile> out;
    out.reserve(devices_.size());
    for (auto& device : devices_) {
        advance(device, now);
        if (silent(device, now)) {
            continue;
        }
        out.push_back(device.profile);
        if (now < device.localizing_until) {
            out.back().state = "LOCALIZE";
        }
    }
    return out;
}

std::optional<operation_result> device_fleet::configure(const configuration_change& change,
                                                        sim_clock::time_point now) {
    device_runtime* device = lookup(change.article_number, change.serial_number);
    if (!device) {
        return std::nullopt;
    }
    advance(*device, now);
    if (silent(*device, now) || device->profile.deaf) {
        return std::nullopt;
    }
    device_profile& current = device->profile;
    if (current.busy) {
        return operation_result::BUSY;
    }
    if (!credentials_match(current, change.username, change.password)) {
        return operation_result::NOT_AUTHORIZED;
    }
    if (!name_is_usable(change.name)) {
        return operation_result::INVALID_USER_NAME;
    }
    if (!network_differs(current, change)) {
        current.name = change.name;
        return operation_result::ACCEPTED;
    }
    auto verdict = check_network_settings(current, change);
    if (verdict != operation_result::ACCEPTED) {
        return verdict;
    }
    device_profile next = current;
    next.name = change.name;
    next.method = change.method;
    // Without a server in the lab a DHCP device keeps the address it is
    // given when that one is usable, else the one it had.
    if (check_addresses(change) == operation_result::ACCEPTED) {
        next.ip = change.ip;
        next.mask = change.mask;
        next.gateway = change.gateway;
    }
    device->after_reboot = std::move(next);
    device->rebooting_until = now + timing_.reboot_time;
    device->localizing_until = {};
    return operation_result::ACCEPTED;
}

std::optional<operation_result> device_fleet::localize(const std::string& article_number,
                                                       const std::string& serial_number,
                                                       const std::string& username,
                                                       const std::string& password,
                                                       sim_clock::time_point now) {
    device_runtime* device = lookup(article_number, serial_number);
    if (!device) {
        return std::nullopt;
    }
    advance(*device, now);
    if (silent(*device, now) || device->profile.deaf) {
        return std::nullopt;
    }
    if (device->profile.busy) {
        return operation_result::BUSY;
    }
    if (!credentials_match(device->profile, username, password)) {
        return operation_result::NOT_AUTHORIZED;
    }
    if (!device->profile.has_capability(capabilities::SUPPORTS_LOCALIZE)) {
        return operation_result::NOT_SUPPORTED;
    }
    device->localizing_until = now + timing_.localize_time;
    return operation_result::ACCEPTED;
}

}  // namespace sim
