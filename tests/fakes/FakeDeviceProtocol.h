#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <beacon/event.h>
#include <beacon/event_with_metadata.h>
#include <beacon/idevice_protocol.h>

namespace fakes {

// What the test and the fake protocol instances share: the messages waiting
// to be received and a record of every request sent. Instances may be
// created and destroyed on the engine's worker thread; all of this is
// guarded.
class FakeProtocolWire {
public:
    struct Request {
        std::string kind;  // "discovery", "configuration", "localize"
        std::vector<std::string> arguments;
        int networkMethod = -1;
        // The card a credential request was sent through; "" for every card.
        std::string card;
    };

    // Queues a received message as arriving on the card interfaceIp.
    void push(std::unique_ptr<dp::event> message, const std::string& interfaceIp = "10.0.0.1");
    std::shared_ptr<dp::event_with_metadata> next(int timeoutMs);

    void record(Request request);
    std::vector<Request> requests() const;
    std::size_t requestCount(const std::string& kind) const;

    // When not empty, every send throws std::invalid_argument with this text.
    void setSendFailure(const std::string& text);
    std::string sendFailure() const;
    // When set, get_next_event throws std::runtime_error once.
    std::atomic<bool> failNextReceive{false};

    std::atomic<int> instancesMade{0};
    std::atomic<int> instancesAlive{0};

private:
    mutable std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<std::shared_ptr<dp::event_with_metadata>> m_queue;
    std::vector<Request> m_requests;
    std::string m_sendFailure;
};

// A protocol instance over a FakeProtocolWire.
class FakeDeviceProtocol : public dp::idevice_protocol {
public:
    explicit FakeDeviceProtocol(std::shared_ptr<FakeProtocolWire> wire);
    ~FakeDeviceProtocol() override;

    std::shared_ptr<dp::event_with_metadata> get_next_event(int timeout_ms) override;
    int send_discovery_request() const override;
    int send_discovery_response(dp::discovery_response* response,
                                const std::string& ip) const override;
    int send_configuration_request(const std::string& article_number,
                                   const std::string& serial_number, const std::string& ip,
                                   const std::string& mask, const std::string& gateway,
                                   const std::string& user_defined_name,
                                   const sdk::system::network_method_type& network_method,
                                   const std::string& username,
                                   const std::string& password) const override;
    int send_configuration_response(dp::configuration_response* response,
                                    const std::string& ip) const override;
    int send_localize_request(const std::string& article_number, const std::string& serial_number,
                              const std::string& username,
                              const std::string& password) const override;
    int send_localize_response(dp::localize_response* response,
                               const std::string& ip) const override;
    int send_configuration_request(const std::string& card_ip, const std::string& article_number,
                                   const std::string& serial_number, const std::string& ip,
                                   const std::string& mask, const std::string& gateway,
                                   const std::string& user_defined_name,
                                   const sdk::system::network_method_type& network_method,
                                   const std::string& username,
                                   const std::string& password) const override;
    int send_localize_request(const std::string& card_ip, const std::string& article_number,
                              const std::string& serial_number, const std::string& username,
                              const std::string& password) const override;

private:
    void failIfAsked() const;

    std::shared_ptr<FakeProtocolWire> m_wire;
};

}  // namespace fakes
