#include "apply_preflight.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "ipv4text/ipv4_text.h"

namespace cli {
namespace {

using sdk::system::network_method_type;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Plans come from spreadsheets that write MACs with ":", "-" or nothing.
std::string mac_key(const std::string& text) {
    std::string key;
    for (const unsigned char c : text) {
        if (std::isxdigit(c)) {
            key += static_cast<char>(std::tolower(c));
        }
    }
    return key;
}

bool matches(const plan_row& row, const found_device& d) {
    if (row.serial_number && lower(*row.serial_number) != lower(d.answer.serial_number())) {
        return false;
    }
    if (row.mac && mac_key(*row.mac) != mac_key(d.answer.mac())) {
        return false;
    }
    return !row.id || lower(*row.id) == d.id;
}

wanted_settings wanted_for(const plan_row& row, const dp::discovery_response& now) {
    wanted_settings w{row.ip.value_or(now.ip()), row.mask.value_or(now.mask()),
                      row.gateway.value_or(now.gateway()),
                      row.name.value_or(now.user_defined_name()), now.network_method()};
    if (row.method) {
        w.method =
            *row.method == "DHCP" ? network_method_type::DHCP : network_method_type::PERSISTENT_IP;
    } else if (row.ip || row.mask || row.gateway) {
        w.method = network_method_type::PERSISTENT_IP;
    }
    return w;
}

bool moves_address(const apply_item& item) {
    const auto& now = item.device.answer;
    return item.wanted.method != network_method_type::DHCP &&
           (item.wanted.ip != now.ip() || item.wanted.mask != now.mask() ||
            item.wanted.gateway != now.gateway());
}

void fail(apply_item& item, const std::string& message) {
    item.status = item_status::failed;
    item.message = message;
}

}  // namespace

std::vector<apply_item> match_plan(const std::vector<plan_row>& rows,
                                   const std::vector<found_device>& devices) {
    std::vector<apply_item> items;
    for (const auto& row : rows) {
        apply_item item;
        item.row = row;
        std::vector<const found_device*> found;
        for (const auto& d : devices) {
            if (matches(row, d)) {
                found.push_back(&d);
            }
        }
        if (found.size() == 1) {
            item.device = *found.front();
            item.device_id = item.device.id;
            item.wanted = wanted_for(row, item.device.answer);
        } else if (found.empty()) {
            fail(item, "Device is not available");
        } else {
            std::string ids;
            for (const auto* d : found) {
                ids += (ids.empty() ? "" : ", ") + d->id;
            }
            fail(item, "Matches several devices: " + ids);
        }
        items.push_back(item);
    }
    return items;
}

void preflight(std::vector<apply_item>& items, const std::vector<found_device>& devices) {
    // Two rows for one device would race each other's restart; neither wins.
    std::map<std::string, int> rows_of;
    for (const auto& item : items) {
        ++rows_of[item.device_id];
    }
    for (auto& item : items) {
        if (item.status == item_status::pending && rows_of[item.device_id] > 1) {
            fail(item, "Device planned twice");
        }
    }
    std::map<std::string, int> planned;
    for (auto& item : items) {
        if (item.status != item_status::pending || !moves_address(item)) {
            continue;
        }
        if (!ipv4text::is_valid_host(item.wanted.ip, item.wanted.mask, item.wanted.gateway)) {
            fail(item, "Invalid address");
            continue;
        }
        // Even when the other device moves away in the same plan: the order
        // in which devices restart is theirs, so the address may still clash.
        const auto other = std::find_if(devices.begin(), devices.end(), [&](const found_device& d) {
            return d.id != item.device_id && d.answer.ip() == item.wanted.ip;
        });
        if (other != devices.end()) {
            fail(item, "Address in use by " + other->id);
            continue;
        }
        if (item.wanted.ip != item.device.answer.ip()) {
            ++planned[item.wanted.ip];
        }
    }
    for (auto& item : items) {
        if (item.status == item_status::pending && moves_address(item) &&
            item.wanted.ip != item.device.answer.ip() && planned[item.wanted.ip] > 1) {
            fail(item, "Address planned twice");
        }
    }
}

std::string status_text(item_status status) {
    switch (status) {
        case item_status::pending:
            return "pending";
        case item_status::done:
            return "done";
        case item_status::failed:
            return "failed";
        case item_status::cancelled:
            break;
    }
    return "cancelled";
}

}  // namespace cli
