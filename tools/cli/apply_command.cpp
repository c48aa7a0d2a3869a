#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "apply_command.h"
#include "apply_preflight.h"
#include "exit_codes.h"
#include "outcome_text.h"

namespace cli {
namespace {

using namespace std::chrono_literals;
using sdk::system::operation_result;

std::string row_key(const plan_row& row) {
    if (row.id)
        return *row.id;
    if (row.serial_number)
        return "serialNumber " + *row.serial_number;
    return "mac " + row.mac.value_or("");
}

// "current -> planned" for what the item changes, in plan column names.
std::string change_text(const apply_item& item) {
    if (item.device_id.empty()) {
        return "";
    }
    const auto& now = item.device.answer;
    const auto& w = item.wanted;
    std::string text;
    const auto add = [&text](const std::string& what, const std::string& from,
                             const std::string& to) {
        if (from != to) {
            text +=
                (text.empty() ? "" : "; ") + what + " " + printable(from) + " -> " + printable(to);
        }
    };
    add("name", now.user_defined_name(), w.name);
    add("networkMethod", method_text(now.network_method()), method_text(w.method));
    if (w.method != sdk::system::network_method_type::DHCP) {
        add("ip", now.ip(), w.ip);
        add("subnetMask", now.mask(), w.mask);
        add("defaultGateway", now.gateway(), w.gateway);
    }
    return text.empty() ? "no change" : text;
}

void print_json(const std::vector<apply_item>& items, std::ostream& out) {
    for (const auto& item : items) {
        out << nlohmann::json{{"row", item.row.number},
                              {"device",
                               item.device_id.empty() ? row_key(item.row) : item.device_id},
                              {"change", change_text(item)},
                              {"status", status_text(item.status)},
                              {"message", item.message}}
                   .dump()
            << "\n";
    }
}

void print_table(const std::vector<apply_item>& items, std::ostream& out) {
    std::vector<std::array<std::string, 5>> lines = {
        {"ROW", "DEVICE", "CHANGE", "STATUS", "MESSAGE"}};
    for (const auto& item : items) {
        lines.push_back({std::to_string(item.row.number),
                         printable(item.device_id.empty() ? row_key(item.row) : item.device_id),
                         change_text(item), status_text(item.status), printable(item.message)});
    }
    std::array<std::size_t, 5> width{};
    for (const auto& line : lines) {
        for (std::size_t i = 0; i < width.size(); ++i) {
            width[i] = std::max(width[i], line[i].size());
        }
    }
    for (const auto& line : lines) {
        std::string text;
        for (std::size_t i = 0; i < line.size(); ++i) {
            text += line[i];
            if (i + 1 < line.size()) {
                text += std::string(width[i] - line[i].size() + 2, ' ');
            }
        }
        out << text.substr(0, text.find_last_not_of(' ') + 1) << "\n";
    }
}

void print_results(const std::vector<apply_item>& items, bool json, std::ostream& out) {
    if (json) {
        print_json(items, out);
    } else {
        print_table(items, out);
    }
    out.flush();
}

struct in_flight {
    std::size_t item;
    client::clock::time_point deadline;
};

// At most o.parallel requests wait for their answers at once; each answer
// or timeout lets the next one go.
void send_all(client& net, const options& o, const credentials& login,
              std::vector<apply_item>& items) {
    const auto within = std::chrono::milliseconds(static_cast<long long>(o.timeout_s * 1000));
    std::deque<std::size_t> queue;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].status == item_status::pending) {
            queue.push_back(i);
        }
    }
    std::map<std::string, in_flight> waiting;
    while (!queue.empty() || !waiting.empty()) {
        while (!queue.empty() && static_cast<int>(waiting.size()) < o.parallel) {
            auto& item = items[queue.front()];
            const auto& w = item.wanted;
            std::string request_id;
            try {
                request_id = net.send_configuration(item.device, w.ip, w.mask, w.gateway, w.name,
                                                    w.method, login.user, login.password);
            } catch (const std::invalid_argument& e) {
                item.status = item_status::failed;
                item.message = e.what();
            }
            if (item.status == item_status::pending && request_id.empty()) {
                item.status = item_status::cancelled;
                item.message = "The request could not be sent";
            }
            if (item.status == item_status::pending) {
                waiting[request_id] = {queue.front(), client::clock::now() + within};
            }
            queue.pop_front();
        }
        if (waiting.empty()) {
            continue;
        }
        std::set<std::string> ids;
        auto first_deadline = waiting.begin()->second.deadline;
        for (const auto& [id, flight] : waiting) {
            ids.insert(id);
            first_deadline = std::min(first_deadline, flight.deadline);
        }
        if (const auto answer = net.next_configuration_answer(ids, first_deadline)) {
            auto& item = items[waiting[answer->first].item];
            item.status = answer->second == operation_result::ACCEPTED ? item_status::done
                                                                       : item_status::failed;
            item.message = configuration_outcome(answer->second);
            if (answer->second == operation_result::ACCEPTED &&
                changes_network(item.wanted, item.device.answer)) {
                item.message =
                    "Configuration accepted; the device restarts with its new network settings";
            }
            waiting.erase(answer->first);
            continue;
        }
        for (auto at = waiting.begin(); at != waiting.end();) {
            if (at->second.deadline <= client::clock::now()) {
                items[at->second.item].status = item_status::failed;
                items[at->second.item].message = "Configuration request operation timeout";
                at = waiting.erase(at);
            } else {
                ++at;
            }
        }
    }
}

}  // namespace

int run_apply(client& net, const options& o, const credentials& login, std::ostream& out,
              std::ostream& err) {
    std::vector<plan_row> rows;
    try {
        rows = read_plan_file(o.plan_path);
    } catch (const usage_error& e) {
        err << "lanfinder-cli: " << e.what() << "\n";
        return exit_usage;
    }
    const auto within = std::chrono::milliseconds(static_cast<long long>(o.timeout_s * 1000));
    const auto every = std::clamp<std::chrono::milliseconds>(within / 4, 50ms, 1000ms);
    const auto devices = net.discover(within, every, 3);
    auto items = match_plan(rows, devices);
    preflight(items, devices);
    if (!o.dry_run) {
        send_all(net, o, login, items);
    }
    print_results(items, o.json, out);
    if (o.dry_run) {
        const bool sound = std::none_of(items.begin(), items.end(), [](const apply_item& item) {
            return item.status == item_status::failed;
        });
        return sound ? exit_success : exit_device_error;
    }
    const bool all_done = std::all_of(items.begin(), items.end(), [](const apply_item& item) {
        return item.status == item_status::done;
    });
    return all_done ? exit_success : exit_device_error;
}

}  // namespace cli
