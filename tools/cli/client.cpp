#include "client.h"

#include <algorithm>

#include <beacon/communication_udp.h>
#include <beacon/configuration_response.h>
#include <beacon/device_protocol.h>
#include <beacon/discovery_response.h>
#include <beacon/localize_response.h>
#include <beacon/protocol_constants.h>
#include <beacon/protocol_exception.h>

#include "recording_endpoint.h"

namespace cli {
namespace {

// Kind codes of the records (event::type_of_service()).
constexpr int discovery_answer = 1;
constexpr int configuration_answer = 3;
constexpr int localize_answer = 5;

// Each wait in the library is short, so deadlines are kept to the tick.
constexpr int poll_ms = 20;

}  // namespace

client::client(const std::vector<card_address>& addresses) : sent_(std::make_shared<sent_ids>()) {
    std::vector<dp::network_card_info> cards;
    for (const auto& address : addresses) {
        cards.push_back(address.info);
        card_of_address_.emplace(address.info.ip, address.card_name);
    }
    auto sent = sent_;
    auto sockets = std::make_unique<dp::communication_udp_sockets>(
        [sent](const dp::network_card_info& card) -> std::unique_ptr<dp::icommunication_udp> {
            return std::make_unique<recording_endpoint>(
                std::make_unique<dp::communication_udp>(card, sdk::system::response_port), sent);
        },
        cards);
    try {
        engine_ =
            std::make_unique<dp::device_protocol>(dp::device_protocol::client, std::move(sockets));
    } catch (const dp::protocol_exception& e) {
        throw bind_failure("cannot listen on " + e.ip() + ":" + std::to_string(e.port()) +
                           " (is lanfinder or another lanfinder-cli running?)");
    } catch (const std::exception& e) {
        throw bind_failure(std::string("cannot open the network endpoints: ") + e.what());
    }
}

client::~client() = default;

std::vector<found_device> client::discover(std::chrono::milliseconds within,
                                           std::chrono::milliseconds every, int requests,
                                           const std::function<bool(const found_device&)>& done) {
    std::vector<found_device> devices;
    const auto start = clock::now();
    const auto deadline = start + within;
    auto next_request = start;
    int sent = 0;
    while (clock::now() < deadline) {
        if (sent < requests && clock::now() >= next_request) {
            last_send_complete_ = engine_->send_discovery_request() >= 0;
            ++sent;
            next_request += every;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::min(deadline, sent < requests ? next_request : deadline) - clock::now());
        const auto item = engine_->get_next_event(
            static_cast<int>(std::clamp<long long>(left.count(), 1, poll_ms)));
        if (!item || !item->message ||
            static_cast<int>(item->message->type_of_service()) != discovery_answer) {
            continue;
        }
        found_device found;
        found.answer = static_cast<const dp::discovery_response&>(*item->message);
        found.id = device_id(found.answer);
        found.card_ip = item->interface_ip;
        found.sender_ip = item->sender_ip;
        const auto card = card_of_address_.find(item->interface_ip);
        found.card_name = card != card_of_address_.end() ? card->second : std::string();
        auto known = std::find_if(devices.begin(), devices.end(),
                                  [&](const found_device& d) { return d.id == found.id; });
        if (known == devices.end()) {
            devices.push_back(found);
        } else {
            *known = found;
        }
        if (done && done(found)) {
            break;
        }
    }
    return devices;
}

std::string client::send_configuration(const found_device& device, const std::string& ip,
                                       const std::string& mask, const std::string& gateway,
                                       const std::string& name,
                                       sdk::system::network_method_type method,
                                       const std::string& user, const std::string& password) {
    sent_->forget();
    // Only out of the card the device answered on: the credentials' protection
    // is no secret, so they must not reach the other networks.
    const int sent = engine_->send_configuration_request(
        device.card_ip, device.answer.article_number(), device.answer.serial_number(), ip, mask,
        gateway, name, method, user, password);
    last_send_complete_ = sent >= 0;
    return sent_->last();
}

std::string client::send_localize(const found_device& device, const std::string& user,
                                  const std::string& password) {
    sent_->forget();
    const int sent = engine_->send_localize_request(device.card_ip, device.answer.article_number(),
                                                    device.answer.serial_number(), user, password);
    last_send_complete_ = sent >= 0;
    return sent_->last();
}

std::optional<sdk::system::operation_result> client::await_configuration(
    const std::string& request_id, std::chrono::milliseconds within) {
    return await_result(configuration_answer, request_id, within);
}

std::optional<sdk::system::operation_result> client::await_localize(
    const std::string& request_id, std::chrono::milliseconds within) {
    return await_result(localize_answer, request_id, within);
}

std::optional<sdk::system::operation_result> client::await_result(
    int kind, const std::string& request_id, std::chrono::milliseconds within) {
    const auto deadline = clock::now() + within;
    while (clock::now() < deadline) {
        const auto item = engine_->get_next_event(poll_ms);
        if (!item || !item->message || static_cast<int>(item->message->type_of_service()) != kind ||
            item->message->request_id() != request_id) {
            continue;
        }
        if (kind == configuration_answer) {
            return static_cast<const dp::configuration_response&>(*item->message).result();
        }
        return static_cast<const dp::localize_response&>(*item->message).result();
    }
    return std::nullopt;
}

std::optional<std::pair<std::string, sdk::system::operation_result>>
client::next_configuration_answer(const std::set<std::string>& request_ids,
                                  clock::time_point deadline) {
    while (clock::now() < deadline) {
        const auto item = engine_->get_next_event(poll_ms);
        if (!item || !item->message ||
            static_cast<int>(item->message->type_of_service()) != configuration_answer ||
            request_ids.count(item->message->request_id()) == 0) {
            continue;
        }
        return std::make_pair(
            item->message->request_id(),
            static_cast<const dp::configuration_response&>(*item->message).result());
    }
    return std::nullopt;
}

}  // namespace cli
