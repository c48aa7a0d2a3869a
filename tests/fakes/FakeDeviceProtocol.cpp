#include "FakeDeviceProtocol.h"

#include <chrono>
#include <stdexcept>

namespace fakes {

void FakeProtocolWire::push(std::unique_ptr<dp::event> message, const std::string& interfaceIp) {
    auto received = std::make_shared<dp::event_with_metadata>();
    received->message = std::move(message);
    received->sender_ip = "0.0.0.0";
    received->interface_ip = interfaceIp;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.push_back(std::move(received));
    }
    m_arrived.notify_all();
}

std::shared_ptr<dp::event_with_metadata> FakeProtocolWire::next(int timeoutMs) {
    std::unique_lock<std::mutex> guard(m_lock);
    m_arrived.wait_for(guard, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                       [this] { return !m_queue.empty(); });
    if (m_queue.empty()) {
        return {};
    }
    auto front = m_queue.front();
    m_queue.pop_front();
    return front;
}

void FakeProtocolWire::record(Request request) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_requests.push_back(std::move(request));
}

std::vector<FakeProtocolWire::Request> FakeProtocolWire::requests() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

std::size_t FakeProtocolWire::requestCount(const std::string& kind) const {
    std::lock_guard<std::mutex> guard(m_lock);
    std::size_t count = 0;
    for (const auto& request : m_requests) {
        count += request.kind == kind ? 1 : 0;
    }
    return count;
}

void FakeProtocolWire::setSendFailure(const std::string& text) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_sendFailure = text;
}

std::string FakeProtocolWire::sendFailure() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sendFailure;
}

FakeDeviceProtocol::FakeDeviceProtocol(std::shared_ptr<FakeProtocolWire> wire)
    : m_wire(std::move(wire)) {
    ++m_wire->instancesMade;
    ++m_wire->instancesAlive;
}

FakeDeviceProtocol::~FakeDeviceProtocol() {
    --m_wire->instancesAlive;
}

std::shared_ptr<dp::event_with_metadata> FakeDeviceProtocol::get_next_event(int timeout_ms) {
    if (m_wire->failNextReceive.exchange(false)) {
        throw std::runtime_error("receive failed");
    }
    return m_wire->next(timeout_ms);
}

void FakeDeviceProtocol::failIfAsked() const {
    const std::string failure = m_wire->sendFailure();
    if (!failure.empty()) {
        throw std::invalid_argument(failure);
    }
}

int FakeDeviceProtocol::send_discovery_request() const {
    failIfAsked();
    m_wire->record({"discovery", {}, -1, {}});
    return 10;
}

int FakeDeviceProtocol::send_discovery_response(dp::discovery_response*, const std::string&) const {
    return -1;
}

int FakeDeviceProtocol::send_configuration_request(
    const std::string& article_number, const std::string& serial_number, const std::string& ip,
    const std::string& mask, const std::string& gateway, const std::string& user_defined_name,
    const sdk::system::network_method_type& network_method, const std::string& username,
    const std::string& password) const {
    failIfAsked();
    m_wire->record(
        {"configuration",
         {article_number, serial_number, ip, mask, gateway, user_defined_name, username, password},
         static_cast<int>(network_method),
         {}});
    return 10;
}

int FakeDeviceProtocol::send_configuration_response(dp::configuration_response*,
                                                    const std::string&) const {
    return -1;
}

int FakeDeviceProtocol::send_localize_request(const std::string& article_number,
                                              const std::string& serial_number,
                                              const std::string& username,
                                              const std::string& password) const {
    failIfAsked();
    m_wire->record({"localize", {article_number, serial_number, username, password}, -1, {}});
    return 10;
}

int FakeDeviceProtocol::send_configuration_request(
    const std::string& card_ip, const std::string& article_number, const std::string& serial_number,
    const std::string& ip, const std::string& mask, const std::string& gateway,
    const std::string& user_defined_name, const sdk::system::network_method_type& network_method,
    const std::string& username, const std::string& password) const {
    failIfAsked();
    m_wire->record(
        {"configuration",
         {article_number, serial_number, ip, mask, gateway, user_defined_name, username, password},
         static_cast<int>(network_method),
         card_ip});
    return 10;
}

int FakeDeviceProtocol::send_localize_request(const std::string& card_ip,
                                              const std::string& article_number,
                                              const std::string& serial_number,
                                              const std::string& username,
                                              const std::string& password) const {
    failIfAsked();
    m_wire->record({"localize", {article_number, serial_number, username, password}, -1, card_ip});
    return 10;
}

int FakeDeviceProtocol::send_localize_response(dp::localize_response*, const std::string&) const {
    return -1;
}

}  // namespace fakes
