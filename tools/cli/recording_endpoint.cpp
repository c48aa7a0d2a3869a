#include "recording_endpoint.h"

#include <nlohmann/json.hpp>

namespace cli {

void sent_ids::note(const std::string& datagram) {
    const auto document = nlohmann::json::parse(datagram, nullptr, false);
    std::string id;
    if (document.is_object()) {
        const auto found = document.find("id");
        if (found != document.end() && found->is_string()) {
            id = found->get<std::string>();
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    last_ = id;
}

void sent_ids::forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    last_.clear();
}

std::string sent_ids::last() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
}

recording_endpoint::recording_endpoint(std::unique_ptr<dp::icommunication_udp> inner,
                                       std::shared_ptr<sent_ids> sent)
    : inner_(std::move(inner)), sent_(std::move(sent)) {}

int recording_endpoint::bind(dp::bind_flag flag) {
    return inner_->bind(flag);
}

void recording_endpoint::on_datagram_received(dp::datagram_callback callback) {
    inner_->on_datagram_received(std::move(callback));
}

int recording_endpoint::write_datagram(const std::string& data, const std::string& ip,
                                       std::uint16_t port) {
    sent_->note(data);
    return inner_->write_datagram(data, ip, port);
}

int recording_endpoint::receive_broadcast_enable() {
    return inner_->receive_broadcast_enable();
}

int recording_endpoint::receive_broadcast_disable() {
    return inner_->receive_broadcast_disable();
}

std::string recording_endpoint::ip_address() const {
    return inner_->ip_address();
}

std::uint16_t recording_endpoint::port() const {
    return inner_->port();
}

std::string recording_endpoint::mask() const {
    return inner_->mask();
}

std::string recording_endpoint::mac_address() const {
    return inner_->mac_address();
}

}  // namespace cli
