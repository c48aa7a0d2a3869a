#include "simulator.h"

#include <algorithm>

#include <beacon/configuration_request.h>
#include <beacon/event_with_metadata.h>
#include <beacon/localize_request.h>

namespace sim {
namespace {

// The kind codes the engine stamps on each record class.
constexpr int kind_discovery_request = 0;
constexpr int kind_configuration_request = 2;
constexpr int kind_localize_request = 4;

}  // namespace

dp::discovery_response describe(const device_profile& device) {
    dp::discovery_response r;
    r.set_mac(device.mac);
    r.set_hardware_version(device.hardware_version);
    r.set_device_type(device.device_type);
    r.set_device_url(device.url());
    r.set_serial_number(device.serial_number);
    r.set_article_number(device.article_number);
    r.set_device_firmware(device.firmware_version);
    r.set_user_defined_name(device.name);
    r.set_manufacture_date(device.manufacture_date);
    r.set_manufacturer(device.manufacturer);
    r.set_ip(device.ip);
    r.set_mask(device.mask);
    r.set_gateway(device.gateway);
    r.set_authentication(device.authentication);
    r.set_network_method(device.method);
    auto state =
        DeviceAdministrationFbbApi::device_state_from_string("DeviceState_" + device.state);
    r.set_state(state.value_or(DeviceAdministrationFbbApi::DeviceState::DeviceState_UNKNOWN));
    r.set_status_value(device.status_value);
    for (const auto& line : device.info) {
        r.append_info_message(line);
    }
    if (device.state == "LOCALIZE") {
        r.append_info_message("Localizing");
    }
    r.set_capability(device.capabilities);
    return r;
}

simulator::simulator(std::unique_ptr<dp::idevice_protocol> engine, device_fleet& fleet,
                     answer_settings settings, std::ostream& log)
    : engine_(std::move(engine)),
      fleet_(fleet),
      settings_(settings),
      log_(log),
      rng_(settings.seed) {}

void simulator::run(sim_clock::time_point deadline, const std::atomic<bool>& stop) {
    while (!stop.load() && sim_clock::now() < deadline) {
        auto now = sim_clock::now();
        send_due(now);
        // Wake for the next scheduled answer, else poll at the engine's
        // usual 10 ms so stop and the deadline are noticed quickly.
        int wait_ms = 10;
        if (!pending_.empty()) {
            auto until =
                std::chrono::duration_cast<std::chrono::milliseconds>(pending_.top().due - now);
            wait_ms = static_cast<int>(std::clamp<long long>(until.count(), 0, 10));
        }
        auto event = engine_->get_next_event(wait_ms);
        if (event && event->message) {
            handle(*event, sim_clock::now());
        }
    }
}

void simulator::handle(dp::event_with_metadata& event, sim_clock::time_point now) {
    const std::string& requester = event.sender_ip;
    switch (static_cast<int>(event.message->type_of_service())) {
        case kind_discovery_request: {
            ++counts_.discovery_requests;
            std::bernoulli_distribution lost(settings_.loss);
            for (const auto& device : fleet_.responders(now)) {
                if (settings_.loss > 0 && lost(rng_)) {
                    ++counts_.answers_dropped;
                    continue;
                }
                dp::discovery_response r = describe(device);
                r.set_request_id(event.message->request_id());
                schedule(std::move(r), requester, now);
            }
            break;
        }
        case kind_configuration_request: {
            ++counts_.configuration_requests;
            const auto& q = static_cast<const dp::configuration_request&>(*event.message);
            configuration_change change{
                q.article_number(), q.serial_number(), q.user_defined_name(), q.ip(),
                q.mask(),           q.gateway(),       q.network_method(),    q.username(),
                q.password()};
            auto result = fleet_.configure(change, now);
            if (!result) {
                break;
            }
            dp::configuration_response r;
            r.set_request_id(q.request_id());
            r.set_article_number(q.article_number());
            r.set_serial_number(q.serial_number());
            r.set_result(*result);
            log_ << "lanfinder-sim: configuration of " << q.article_number() << "_"
                 << q.serial_number() << " from " << requester << ": "
                 << sdk::system::to_string(*result) << std::endl;
            schedule(std::move(r), requester, now);
            break;
        }
        case kind_localize_request: {
            ++counts_.localize_requests;
            const auto& q = static_cast<const dp::localize_request&>(*event.message);
            auto result = fleet_.localize(q.article_number(), q.serial_number(), q.username(),
                                          q.password(), now);
            if (!result) {
                break;
            }
            dp::localize_response r;
            r.set_request_id(q.request_id());
            r.set_article_number(q.article_number());
            r.set_serial_number(q.serial_number());
            r.set_result(*result);
            log_ << "lanfinder-sim: localize of " << q.article_number() << "_" << q.serial_number()
                 << " from " << requester << ": " << sdk::system::to_string(*result) << std::endl;
            schedule(std::move(r), requester, now);
            break;
        }
        default:
            // Answers of other devices on the same wire: not for us.
            break;
    }
}

void simulator::schedule(answer message, const std::string& target, sim_clock::time_point now) {
    auto due = now;
    if (settings_.jitter_ms > 0) {
        std::uniform_int_distribution<int> delay(0, settings_.jitter_ms);
        due += std::chrono::milliseconds(delay(rng_));
    }
    pending_.push(scheduled{due, next_order_++, std::move(message), target});
}

void simulator::send_due(sim_clock::time_point now) {
    while (!pending_.empty() && pending_.top().due <= now) {
        // priority_queue gives only const access to its top; the copy is
        // the price of sending a record the engine takes by pointer.
        scheduled item = pending_.top();
        pending_.pop();
        send(item.message, item.target);
    }
}

void simulator::send(answer& message, const std::string& target) {
    int sent = std::visit(
        [&](auto& record) -> int {
            using T = std::decay_t<decltype(record)>;
            if constexpr (std::is_same_v<T, dp::discovery_response>) {
                return engine_->send_discovery_response(&record, target);
            } else if constexpr (std::is_same_v<T, dp::configuration_response>) {
                return engine_->send_configuration_response(&record, target);
            } else {
                return engine_->send_localize_response(&record, target);
            }
        },
        message);
    if (sent < 0) {
        ++counts_.answers_failed;
    } else {
        ++counts_.answers_sent;
    }
}

}  // namespace sim
