#include "beacon/device_protocol.h"

#include <chrono>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "answer_memo.h"
#include "beacon/codec.h"
#include "beacon/communication_udp.h"
#include "beacon/protocol_constants.h"
#include "beacon/protocol_exception.h"
#include "beacon/secure_wipe.h"
#include "decoder.h"
#include "ipv4.h"
#include "logbridge/p7.h"
#include "request_id.h"

namespace dp {
namespace {

// As many devices as the program shows at most.
constexpr std::size_t answer_memo_capacity = 65536;

std::uint16_t local_port(device_protocol::operating_mode mode) {
    return mode == device_protocol::device ? sdk::system::request_port : sdk::system::response_port;
}

std::uint16_t destination_port(device_protocol::operating_mode mode) {
    return mode == device_protocol::device ? sdk::system::response_port : sdk::system::request_port;
}

bind_flag flag_of(device_protocol::operating_mode mode) {
    return mode == device_protocol::device ? bind_flag::device : bind_flag::client;
}

// Several receive threads and the caller print; one write per line keeps
// the lines whole.
void print_line(const std::string& line) {
    std::cout << (line + "\n") << std::flush;
}

std::string destination_for(const icommunication_udp& endpoint, const std::string& target) {
    if (target.empty()) {
        return broadcast_address;
    }
    if (target == loopback_address) {
        return target;
    }
    // A target outside this card's subnet still gets the broadcast, so that a
    // misconfigured device on this wire hears its answer.
    if (ipv4::same_subnet(endpoint.ip_address(), endpoint.mask(), target)) {
        return target;
    }
    return broadcast_address;
}

configuration_request make_configuration_request(
    const std::string& article_number, const std::string& serial_number, const std::string& ip,
    const std::string& mask, const std::string& gateway, const std::string& user_defined_name,
    const sdk::system::network_method_type& network_method, const std::string& username,
    const std::string& password) {
    configuration_request request;
    request.set_request_id(make_request_id());
    request.set_article_number(article_number);
    request.set_serial_number(serial_number);
    request.set_ip(ip);
    request.set_mask(mask);
    request.set_gateway(gateway);
    request.set_user_defined_name(user_defined_name);
    request.set_network_method(network_method);
    request.set_username(encrypt_credential(username));
    request.set_password(encrypt_credential(password));
    return request;
}

localize_request make_localize_request(const std::string& article_number,
                                       const std::string& serial_number,
                                       const std::string& username, const std::string& password) {
    localize_request request;
    request.set_request_id(make_request_id());
    request.set_article_number(article_number);
    request.set_serial_number(serial_number);
    request.set_username(encrypt_credential(username));
    request.set_password(encrypt_credential(password));
    return request;
}

// Encodes a record that carries credentials and leaves no copy of them in it.
template <typename Request>
std::string encode_and_wipe(Request& request) {
    std::string text = encode(request);
    request.wipe_credentials();
    return text;
}

}  // namespace

std::unique_ptr<idevice_protocol> device_protocol::instance(operating_mode mode,
                                                            std::vector<network_card_info> cards) {
    const std::uint16_t port = local_port(mode);
    auto sockets = std::make_unique<communication_udp_sockets>(
        [port](const network_card_info& card) -> std::unique_ptr<icommunication_udp> {
            return std::make_unique<communication_udp>(card, port);
        },
        cards);
    return std::make_unique<device_protocol>(mode, std::move(sockets));
}

device_protocol::device_protocol(operating_mode mode,
                                 std::unique_ptr<communication_udp_sockets> sockets)
    : destination_port_(destination_port(mode)),
      sockets_(std::move(sockets)),
      arrival_future_(arrival_promise_.get_future()),
      answers_(std::make_unique<answer_memo>(answer_memo_capacity)) {
    if (!sockets_) {
        return;
    }
    try {
        for (const auto& endpoint : sockets_->sockets()) {
            if (endpoint->receive_broadcast_enable() != 0) {
                throw std::runtime_error("Cannot activate broadcast on socket");
            }
            if (endpoint->bind(flag_of(mode)) != 0) {
                throw protocol_exception(endpoint->ip_address(), endpoint->port());
            }
            print_line("Bind successfully on:" + endpoint->ip_address() + ":" +
                       std::to_string(endpoint->port()));
            const std::string interface_ip = endpoint->ip_address();
            endpoint->on_datagram_received(
                [this, interface_ip](std::string data, std::string sender_ip, std::uint16_t) {
                    on_datagram(data, sender_ip, interface_ip);
                });
        }
    } catch (...) {
        // Endpoints already receiving must stop before the members they feed go.
        sockets_.reset();
        throw;
    }
}

device_protocol::~device_protocol() {
    // Ends every receive callback before the queue and the signal go away.
    sockets_.reset();
}

std::unique_ptr<event> device_protocol::decode(const char* data, std::int32_t length) const {
    std::uint64_t repeat_key = 0;
    return decode_answer(data, length, repeat_key);
}

std::unique_ptr<event> device_protocol::decode_answer(
    const char* data, std::int32_t length, std::uint64_t& repeat_key,
    const std::function<bool(std::uint64_t)>& take) const {
    if (data == nullptr || length < 1) {
        p7::deliver(1, __LINE__, "device_protocol", "dp::device_protocol::decode",
                    "Discarded network message");
        return nullptr;
    }
    const std::string_view text(data, static_cast<std::size_t>(length));
    bool taken = false;
    const std::uint64_t known = answers_->recall(text, take, &taken);
    if (taken) {
        repeat_key = known;
        return nullptr;
    }
    auto record = decode_datagram(data, text.size());
    if (record) {
        repeat_key = known != 0 ? known : answers_->remember(text, *record);
    }
    return record;
}

void device_protocol::on_datagram(const std::string& data, const std::string& sender_ip,
                                  const std::string& interface_ip) {
    // This runs on netbridge's thread: nothing may escape from here.
    try {
        if (data.size() > max_datagram_size) {
            return;
        }
        std::uint64_t repeat_key = 0;
        const auto filter = std::atomic_load(&filter_);
        std::function<bool(std::uint64_t)> take;
        if (filter && *filter) {
            take = [&filter, &interface_ip](std::uint64_t key) {
                return (*filter)(key, interface_ip);
            };
        }
        auto record =
            decode_answer(data.data(), static_cast<std::int32_t>(data.size()), repeat_key, take);
        if (!record) {
            return;
        }
        auto item = std::make_shared<event_with_metadata>();
        item->message = std::move(record);
        item->repeat_key = repeat_key;
        item->sender_ip = sender_ip;
        item->interface_ip = interface_ip;
        {
            std::lock_guard<std::mutex> lock(queue_mutex_);
            queue_.push_back(std::move(item));
        }
        queue_signal_.notify_one();
        // The promise is taken out under the signal lock and fulfilled after
        // it: fulfilling wakes the waiting caller, whose first step is to
        // take that lock, and doing so while holding it made the caller
        // sleep on the lock and the receive thread wake it a second time,
        // two more system calls and a context switch per datagram.
        // Empty until claimed: a default promise would allocate its state.
        std::optional<std::promise<int>> arrival;
        {
            std::lock_guard<std::mutex> lock(arrival_mutex_);
            // Remembering the fulfilment spares a thrown future_error per
            // datagram during a burst, when the promise is almost always
            // fulfilled already.
            if (arrival_signalled_) {
                return;
            }
            arrival.emplace(std::move(arrival_promise_));
            arrival_signalled_ = true;
        }
        arrival->set_value(1);
    } catch (...) {
    }
}

std::shared_ptr<event_with_metadata> device_protocol::get_next_event(int timeout_ms) {
    auto take_front = [this]() -> std::shared_ptr<event_with_metadata> {
        std::unique_lock<std::mutex> lock(queue_mutex_);
        queue_signal_.wait(lock, [this] { return !queue_.empty(); });
        auto item = queue_.front();
        queue_.pop_front();
        return item;
    };
    auto queue_length = [this] {
        std::lock_guard<std::mutex> lock(queue_mutex_);
        return queue_.size();
    };

    if (queue_length() != 0) {
        return take_front();
    }
    // Only this (single) consumer replaces the future, so waiting on it needs
    // no lock; the receive threads touch the promise alone.
    const auto wait = std::chrono::milliseconds(timeout_ms > 0 ? timeout_ms : 0);
    if (arrival_future_.wait_for(wait) != std::future_status::ready) {
        return nullptr;
    }
    {
        // The fulfilled promise has left arrival_promise_ (on_datagram); its
        // state lives on with the fulfilling thread until it is done with it.
        std::lock_guard<std::mutex> lock(arrival_mutex_);
        arrival_promise_ = std::promise<int>();
        arrival_future_ = arrival_promise_.get_future();
        arrival_signalled_ = false;
    }
    if (queue_length() != 0) {
        return take_front();
    }
    return nullptr;
}

void device_protocol::set_repeat_filter(repeat_filter filter) {
    std::atomic_store(
        &filter_, std::shared_ptr<const repeat_filter>(
                      filter ? std::make_shared<const repeat_filter>(std::move(filter)) : nullptr));
}

int device_protocol::send(const std::string& text, const std::string& target) const {
    bool all_good = true;
    bool any_used = false;
    if (!sockets_) {
        return -1;
    }
    for (const auto& endpoint : sockets_->sockets()) {
        if (endpoint->ip_address() == any_address) {
            continue;
        }
        any_used = true;
        const std::string destination = destination_for(*endpoint, target);
        const int sent = endpoint->write_datagram(text, destination, destination_port_);
        if (sent < 0 || static_cast<std::size_t>(sent) != text.size()) {
            all_good = false;
        }
        print_line("Sent " + std::to_string(sent) + " bytes to:" + destination + ":" +
                   std::to_string(destination_port_));
    }
    return all_good && any_used ? static_cast<int>(text.size()) : -1;
}

icommunication_udp& device_protocol::endpoint_of(const std::string& card_ip) const {
    // The any address is no card: its socket would send out of whichever
    // card the routing table picks.
    if (sockets_ && card_ip != any_address) {
        for (const auto& endpoint : sockets_->sockets()) {
            if (endpoint->ip_address() == card_ip) {
                return *endpoint;
            }
        }
    }
    throw std::invalid_argument("Unknown card address");
}

int device_protocol::send_through(icommunication_udp& endpoint, const std::string& text) const {
    const int sent = endpoint.write_datagram(text, broadcast_address, destination_port_);
    print_line("Sent " + std::to_string(sent) + " bytes to:" + broadcast_address + ":" +
               std::to_string(destination_port_));
    return sent >= 0 && static_cast<std::size_t>(sent) == text.size()
               ? static_cast<int>(text.size())
               : -1;
}

int device_protocol::send_discovery_request() const {
    discovery_request request;
    request.set_request_id(make_request_id());
    return send(encode(request), {});
}

int device_protocol::send_discovery_response(discovery_response* response,
                                             const std::string& ip) const {
    // A null record used to crash the caller's thread; it is simply not sent.
    if (response == nullptr) {
        return -1;
    }
    return send(encode(*response), ip);
}

int device_protocol::send_configuration_request(
    const std::string& article_number, const std::string& serial_number, const std::string& ip,
    const std::string& mask, const std::string& gateway, const std::string& user_defined_name,
    const sdk::system::network_method_type& network_method, const std::string& username,
    const std::string& password) const {
    auto request =
        make_configuration_request(article_number, serial_number, ip, mask, gateway,
                                   user_defined_name, network_method, username, password);
    std::string text = encode_and_wipe(request);
    const int sent = send(text, {});
    secure_wipe(text);
    return sent;
}

int device_protocol::send_configuration_request(
    const std::string& card_ip, const std::string& article_number, const std::string& serial_number,
    const std::string& ip, const std::string& mask, const std::string& gateway,
    const std::string& user_defined_name, const sdk::system::network_method_type& network_method,
    const std::string& username, const std::string& password) const {
    icommunication_udp& endpoint = endpoint_of(card_ip);
    auto request =
        make_configuration_request(article_number, serial_number, ip, mask, gateway,
                                   user_defined_name, network_method, username, password);
    std::string text = encode_and_wipe(request);
    const int sent = send_through(endpoint, text);
    secure_wipe(text);
    return sent;
}

int device_protocol::send_configuration_response(configuration_response* response,
                                                 const std::string& ip) const {
    // A null record used to crash the caller's thread; it is simply not sent.
    if (response == nullptr) {
        return -1;
    }
    return send(encode(*response), ip);
}

int device_protocol::send_localize_request(const std::string& article_number,
                                           const std::string& serial_number,
                                           const std::string& username,
                                           const std::string& password) const {
    auto request = make_localize_request(article_number, serial_number, username, password);
    std::string text = encode_and_wipe(request);
    const int sent = send(text, {});
    secure_wipe(text);
    return sent;
}

int device_protocol::send_localize_request(const std::string& card_ip,
                                           const std::string& article_number,
                                           const std::string& serial_number,
                                           const std::string& username,
                                           const std::string& password) const {
    icommunication_udp& endpoint = endpoint_of(card_ip);
    auto request = make_localize_request(article_number, serial_number, username, password);
    std::string text = encode_and_wipe(request);
    const int sent = send_through(endpoint, text);
    secure_wipe(text);
    return sent;
}

int device_protocol::send_localize_response(localize_response* response,
                                            const std::string& ip) const {
    // A null record used to crash the caller's thread; it is simply not sent.
    if (response == nullptr) {
        return -1;
    }
    return send(encode(*response), ip);
}

}  // namespace dp
