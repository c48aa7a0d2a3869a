#include "fleet_file.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <type_traits>

#include <nlohmann/json.hpp>

namespace sim {
namespace {

using sdk::system::network_method_type;
using json = nlohmann::json;

constexpr std::uint32_t cap_dhcp = 1;
constexpr std::uint32_t cap_persistent = 2;
constexpr std::uint32_t cap_localize = 8;

struct product_line {
    const char* type;
    const char* noun;  // what people on the shop floor call it
    const char* article_base;
    std::uint32_t capabilities;
    const char* hardware[2];
    const char* firmware[3];
};

// A maker's range: cameras and controllers can do everything, small sensors
// often lack DHCP or localize; the high bits stand for features this
// program does not interpret but must carry.
const product_line catalogue[] = {
    {"Smart camera",
     "camera",
     "20867",
     cap_dhcp | cap_persistent | cap_localize | 0x100,
     {"A", "B"},
     {"4.2.1", "4.3.0", "4.3.2"}},
    {"Vision sensor",
     "sensor",
     "10914",
     cap_dhcp | cap_persistent | cap_localize,
     {"01", "02"},
     {"2.8.0", "2.9.4", "3.0.1"}},
    {"Vision controller",
     "controller",
     "30722",
     cap_dhcp | cap_persistent | cap_localize | 0x30,
     {"C1", "C2"},
     {"7.1.0", "7.1.3", "8.0.0"}},
    {"Code reader",
     "reader",
     "10703",
     cap_dhcp | cap_persistent | cap_localize,
     {"03", "04"},
     {"5.12.0", "5.14.2", "6.0.0"}},
    {"Distance sensor",
     "distance sensor",
     "10422",
     cap_persistent,
     {"1", "2"},
     {"1.4.0", "1.4.7", "1.5.0"}},
    {"Colour sensor",
     "colour sensor",
     "10455",
     cap_dhcp | cap_persistent,
     {"1", "2"},
     {"2.0.3", "2.1.0", "2.1.1"}},
};

const char* const stations[] = {"Infeed",  "Palletizer", "Labeler",  "Filler",
                                "Capper",  "Sorter",     "Press",    "Welding cell",
                                "Packing", "Inspection", "Conveyor", "Robot cell"};

const char* const warnings[] = {"Temperature high (71 C)", "Illumination degraded",
                                "Focus out of range", "Supply voltage low (19.8 V)"};
const char* const errors[] = {"Lens cover open", "Image sensor fault",
                              "Configuration checksum mismatch", "Trigger overrun"};

std::string two_digits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

// Host addresses from start on, skipping the subnet's own network and
// broadcast addresses and anything reserved.
std::vector<std::uint32_t> host_addresses(const ipv4::cidr& subnet, std::uint32_t start,
                                          int count) {
    std::vector<std::uint32_t> out;
    for (std::uint64_t a = start; a <= subnet.broadcast() && static_cast<int>(out.size()) < count;
         ++a) {
        auto address = static_cast<std::uint32_t>(a);
        if (!subnet.contains(address) || address == subnet.network() ||
            address == subnet.broadcast() || ipv4::is_reserved_host(address)) {
            continue;
        }
        out.push_back(address);
    }
    if (static_cast<int>(out.size()) < count) {
        throw fleet_error("fleet: subnet " + ipv4::format_cidr(subnet) + " has only " +
                          std::to_string(out.size()) + " free host addresses from " +
                          ipv4::format(start) + ", " + std::to_string(count) + " are needed");
    }
    return out;
}

// A /24 that does not touch the devices' subnet, for devices that were
// configured for some other network.
ipv4::cidr outside_subnet(const ipv4::cidr& subnet) {
    for (const char* candidate : {"192.168.250.0/24", "172.31.250.0/24", "10.254.250.0/24"}) {
        auto c = *ipv4::parse_cidr(candidate);
        if (!subnet.contains(c.network()) && !c.contains(subnet.network())) {
            return c;
        }
    }
    return *ipv4::parse_cidr("198.18.250.0/24");
}

}  // namespace

std::vector<device_profile> generate_fleet(const fleet_plan& plan) {
    if (plan.count < 0) {
        throw fleet_error("fleet: the device count must not be negative");
    }
    std::mt19937_64 rng(plan.seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); };

    std::vector<int> order(plan.count);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), rng);
    // Characters go to distinct devices in shuffled order, wrapping round
    // only when a small fleet cannot give every character its own device.
    std::size_t next = 0;
    auto take = [&](int n) {
        std::set<int> chosen;
        for (int i = 0; i < n && plan.count > 0; ++i) {
            chosen.insert(order[next++ % order.size()]);
        }
        return chosen;
    };
    auto outside = take(plan.outside);
    auto credentials = take(plan.with_credentials);
    auto flapping = take(plan.flapping);
    auto busy = take(plan.busy);
    auto deaf = take(plan.deaf);

    int inside_count = plan.count - static_cast<int>(outside.size());
    auto inside_addresses = host_addresses(plan.subnet, plan.start, inside_count);
    auto far = outside_subnet(plan.subnet);
    auto far_addresses = host_addresses(far, far.network() + 20, static_cast<int>(outside.size()));
    std::uint32_t gateway = plan.subnet.network() + 1;

    std::vector<device_profile> fleet;
    fleet.reserve(plan.count);
    std::set<std::string> identities;
    std::size_t next_inside = 0;
    std::size_t next_far = 0;
    for (int i = 0; i < plan.count; ++i) {
        const auto& line = catalogue[pick(std::size(catalogue))];
        device_profile d;
        d.device_type = line.type;
        d.manufacturer = "Vostrel";
        d.capabilities = line.capabilities;
        d.hardware_version = line.hardware[pick(2)];
        d.firmware_version = line.firmware[pick(3)];
        d.article_number = std::string(line.article_base) + std::to_string(10 + pick(90));
        int year = 2019 + pick(6);
        int week = 1 + pick(52);
        d.manufacture_date = std::to_string(year) + "-" + two_digits(1 + (week - 1) * 12 / 52) +
                             "-" + two_digits(1 + pick(28));
        // Serial numbers start with the production year and week, as on the
        // type plates; a collision with an earlier device is drawn again.
        do {
            d.serial_number =
                two_digits(year % 100) + two_digits(week) + std::to_string(1000 + pick(9000));
        } while (!identities.insert(d.article_number + "_" + d.serial_number).second);
        std::uint64_t low = static_cast<std::uint64_t>(i) + 1;
        char mac[24];
        std::snprintf(mac, sizeof mac, "02:4c:46:%02x:%02x:%02x", unsigned((low >> 16) & 0xff),
                      unsigned((low >> 8) & 0xff), unsigned(low & 0xff));
        d.mac = mac;
        if (pick(5) != 0) {
            d.name = std::string(stations[pick(std::size(stations))]) + " " + line.noun + " " +
                     std::to_string(1 + pick(9));
        }

        if (outside.count(i)) {
            d.ip = ipv4::format(far_addresses[next_far++]);
            d.mask = ipv4::format(far.mask);
            d.gateway = ipv4::format(far.network() + 1);
        } else {
            d.ip = ipv4::format(inside_addresses[next_inside++]);
            d.mask = ipv4::format(plan.subnet.mask);
            d.gateway = pick(3) == 0 ? "0.0.0.0" : ipv4::format(gateway);
        }
        bool dhcp_capable = (d.capabilities & cap_dhcp) != 0;
        d.method = dhcp_capable && pick(5) < 2 ? network_method_type::DHCP
                                               : network_method_type::PERSISTENT_IP;

        int roll = pick(100);
        if (roll < 10) {
            d.state = "ERROR";
            d.status_value = 0x4000 + pick(16);
            d.info = {errors[pick(std::size(errors))]};
        } else if (roll < 25) {
            d.state = "WARNING";
            d.status_value = 0x2000 + pick(16);
            d.info = {warnings[pick(std::size(warnings))]};
        }

        if (credentials.count(i)) {
            d.authentication = true;
            d.username = generated_username;
            d.password = generated_password;
        }
        if (flapping.count(i)) {
            d.flap = {plan.flap_period_s, plan.flap_silent_s,
                      pick(std::max(1, plan.flap_period_s))};
        }
        d.busy = busy.count(i) > 0;
        d.deaf = deaf.count(i) > 0;
        fleet.push_back(std::move(d));
    }
    return fleet;
}

namespace {

std::string method_text(network_method_type m) {
    return sdk::system::to_string(m);
}

struct reader {
    const json& object;
    std::string where;

    [[noreturn]] void fail(const std::string& key, const std::string& what) const {
        throw fleet_error("fleet: " + where + ": \"" + key + "\" " + what);
    }
    std::string text(const std::string& key, const std::string& fallback,
                     bool required = false) const {
        auto it = object.find(key);
        if (it == object.end()) {
            if (required) {
                fail(key, "is missing");
            }
            return fallback;
        }
        if (!it->is_string()) {
            fail(key, "must be a string");
        }
        return it->get<std::string>();
    }
    std::string address(const std::string& key, const std::string& fallback,
                        bool required = false) const {
        std::string value = text(key, fallback, required);
        if (!ipv4::parse(value)) {
            fail(key, "is not a dotted IPv4 address: " + value);
        }
        return value;
    }
    template <typename T>
    T number(const std::string& key, T fallback) const {
        auto it = object.find(key);
        if (it == object.end()) {
            return fallback;
        }
        if (!it->is_number_integer() || (std::is_unsigned_v<T> && !it->is_number_unsigned())) {
            fail(key, std::is_unsigned_v<T> ? "must be a whole number, not negative"
                                            : "must be an integer");
        }
        return it->get<T>();
    }
    bool flag(const std::string& key, bool fallback) const {
        auto it = object.find(key);
        if (it == object.end()) {
            return fallback;
        }
        if (!it->is_boolean()) {
            fail(key, "must be true or false");
        }
        return it->get<bool>();
    }
};

}  // namespace

std::vector<device_profile> parse_fleet(const std::string& json_text) {
    json doc;
    try {
        doc = json::parse(json_text);
    } catch (const json::exception& e) {
        throw fleet_error(std::string("fleet: not valid JSON: ") + e.what());
    }
    const json* list = &doc;
    if (doc.is_object()) {
        auto it = doc.find("devices");
        if (it == doc.end()) {
            throw fleet_error("fleet: expected an object with a \"devices\" array");
        }
        list = &*it;
    }
    if (!list->is_array()) {
        throw fleet_error("fleet: \"devices\" must be an array");
    }
    static const std::regex mac_pattern("([0-9A-Fa-f]{2}[:-]){5}[0-9A-Fa-f]{2}");
    std::vector<device_profile> fleet;
    std::set<std::string> identities;
    for (std::size_t i = 0; i < list->size(); ++i) {
        const json& item = (*list)[i];
        std::string where = "device " + std::to_string(i + 1);
        if (!item.is_object()) {
            throw fleet_error("fleet: " + where + " must be an object");
        }
        reader r{item, where};
        device_profile d;
        d.article_number = r.text("articleNumber", "", true);
        d.serial_number = r.text("serialNumber", "", true);
        if (d.article_number.empty() || d.serial_number.empty()) {
            throw fleet_error("fleet: " + where + ": article and serial number must not be empty");
        }
        r.where = where + " (" + d.article_number + "_" + d.serial_number + ")";
        if (!identities.insert(d.article_number + "\n" + d.serial_number).second) {
            throw fleet_error("fleet: " + r.where + " appears twice");
        }
        d.mac = r.text("mac", d.mac);
        if (!std::regex_match(d.mac, mac_pattern)) {
            r.fail("mac", "is not a MAC address: " + d.mac);
        }
        d.hardware_version = r.text("hardwareVersion", "");
        d.firmware_version = r.text("firmwareVersion", "");
        d.device_type = r.text("deviceType", "");
        d.manufacturer = r.text("manufacturer", "Vostrel");
        d.manufacture_date = r.text("manufactureDate", "");
        d.name = r.text("userDefinedName", "");
        d.ip = r.address("ip", "", true);
        d.mask = r.address("mask", d.mask);
        if (!ipv4::prefix_of_mask(*ipv4::parse(d.mask))) {
            r.fail("mask", "is not a contiguous network mask: " + d.mask);
        }
        d.gateway = r.address("gateway", d.gateway);
        std::string method = r.text("method", method_text(d.method));
        auto parsed_method = sdk::system::network_method_type_from_string(method);
        if (!parsed_method) {
            r.fail("method", "must be \"DHCP\", \"PERSISTENT_IP\" or \"UNKNOWN\"");
        }
        d.method = *parsed_method;
        d.state = r.text("state", d.state);
        if (d.state != "ACTIVE" && d.state != "WARNING" && d.state != "ERROR" &&
            d.state != "UNKNOWN") {
            r.fail("state", "must be \"ACTIVE\", \"WARNING\", \"ERROR\" or \"UNKNOWN\"");
        }
        d.status_value = r.number<std::int64_t>("statusValue", 0);
        if (auto it = item.find("info"); it != item.end()) {
            if (!it->is_array()) {
                r.fail("info", "must be an array of strings");
            }
            for (const auto& line : *it) {
                if (!line.is_string()) {
                    r.fail("info", "must be an array of strings");
                }
                d.info.push_back(line.get<std::string>());
            }
        }
        d.capabilities = r.number<std::uint32_t>("capabilities", d.capabilities);
        d.username = r.text("username", "");
        d.password = r.text("password", "");
        d.authentication = r.flag("authentication", !d.username.empty() || !d.password.empty());
        if (auto it = item.find("flap"); it != item.end()) {
            if (!it->is_object()) {
                r.fail("flap", "must be an object with \"periodS\" and \"silentS\"");
            }
            reader f{*it, r.where + " flap"};
            d.flap.period_s = f.number<int>("periodS", 0);
            d.flap.silent_s = f.number<int>("silentS", 0);
            d.flap.phase_s = f.number<int>("phaseS", 0);
            if (d.flap.period_s < 0 || d.flap.silent_s < 0 ||
                d.flap.silent_s >= std::max(1, d.flap.period_s)) {
                r.fail("flap", "needs 0 <= silentS < periodS");
            }
        }
        d.busy = r.flag("busy", false);
        d.deaf = r.flag("deaf", false);
        fleet.push_back(std::move(d));
    }
    return fleet;
}

std::vector<device_profile> read_fleet_file(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw fleet_error("fleet: cannot read " + path);
    }
    std::stringstream text;
    text << in.rdbuf();
    return parse_fleet(text.str());
}

std::string write_fleet(const std::vector<device_profile>& devices) {
    json list = json::array();
    for (const auto& d : devices) {
        json item = {{"articleNumber", d.article_number},
                     {"serialNumber", d.serial_number},
                     {"mac", d.mac},
                     {"hardwareVersion", d.hardware_version},
                     {"firmwareVersion", d.firmware_version},
                     {"deviceType", d.device_type},
                     {"manufacturer", d.manufacturer},
                     {"manufactureDate", d.manufacture_date},
                     {"userDefinedName", d.name},
                     {"ip", d.ip},
                     {"mask", d.mask},
                     {"gateway", d.gateway},
                     {"method", method_text(d.method)},
                     {"state", d.state},
                     {"statusValue", d.status_value},
                     {"info", d.info},
                     {"capabilities", d.capabilities}};
        if (d.authentication) {
            item["authentication"] = true;
            item["username"] = d.username;
            item["password"] = d.password;
        }
        if (d.flap.period_s > 0) {
            item["flap"] = {{"periodS", d.flap.period_s},
                            {"silentS", d.flap.silent_s},
                            {"phaseS", d.flap.phase_s}};
        }
        if (d.busy) {
            item["busy"] = true;
        }
        if (d.deaf) {
            item["deaf"] = true;
        }
        list.push_back(std::move(item));
    }
    return json{{"devices", list}}.dump(2) + "\n";
}

}  // namespace sim
