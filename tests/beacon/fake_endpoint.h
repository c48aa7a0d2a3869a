#pragma once

// An in-memory UDP endpoint for the engine: records what the engine does to
// it and lets the test inject datagrams as if they had arrived.

#include <beacon/beacon.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace beacontest {

struct written_datagram {
    std::string data;
    std::string ip;
    std::uint16_t port;
};

// Shared between the test and the endpoint, so it outlives the engine.
struct endpoint_log {
    std::mutex mutex;
    std::vector<std::string> calls;  // "broadcast_enable", "bind", "callback", ...
    std::vector<written_datagram> writes;
    dp::bind_flag flag = dp::bind_flag::none;
    dp::datagram_callback callback;
    int bind_result = 0;
    int broadcast_result = 0;
    int short_write = 0;  // bytes to drop from each write's result
    bool destroyed = false;

    void record(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(call);
    }
    // Hands a datagram to the engine as netbridge's thread would.
    void arrive(const std::string& data, const std::string& sender, std::uint16_t port = 40000) {
        callback(data, sender, port);
    }
};

class fake_endpoint : public dp::icommunication_udp {
public:
    fake_endpoint(dp::network_card_info card, std::uint16_t port, std::shared_ptr<endpoint_log> log)
        : card_(std::move(card)), port_(port), log_(std::move(log)) {}
    ~fake_endpoint() override {
        log_->record("destroyed");
        log_->destroyed = true;
    }

    int bind(dp::bind_flag flag) override {
        log_->record("bind");
        log_->flag = flag;
        return log_->bind_result;
    }
    void on_datagram_received(dp::datagram_callback callback) override {
        log_->record("callback");
        log_->callback = std::move(callback);
    }
    int write_datagram(const std::string& data, const std::string& ip,
                       std::uint16_t port) override {
        std::lock_guard<std::mutex> lock(log_->mutex);
        log_->writes.push_back({data, ip, port});
        return static_cast<int>(data.size()) - log_->short_write;
    }
    int receive_broadcast_enable() override {
        log_->record("broadcast_enable");
        return log_->broadcast_result;
    }
    int receive_broadcast_disable() override {
        log_->record("broadcast_disable");
        return 0;
    }
    std::string ip_address() const override { return card_.ip; }
    std::uint16_t port() const override { return port_; }
    std::string mask() const override { return card_.mask; }
    std::string mac_address() const override { return card_.mac; }

private:
    dp::network_card_info card_;
    std::uint16_t port_;
    std::shared_ptr<endpoint_log> log_;
};

// Builds an engine over fake endpoints, one log per card in card order.
struct fake_engine {
    std::vector<std::shared_ptr<endpoint_log>> logs;
    std::unique_ptr<dp::device_protocol> engine;

    fake_engine(dp::device_protocol::operating_mode mode,
                const std::vector<dp::network_card_info>& cards,
                const std::function<void(std::size_t, endpoint_log&)>& prepare = {}) {
        for (std::size_t i = 0; i < cards.size(); ++i) {
            logs.push_back(std::make_shared<endpoint_log>());
            if (prepare) {
                prepare(i, *logs.back());
            }
        }
        const std::uint16_t port = mode == dp::device_protocol::device ? 33001 : 33002;
        std::size_t next = 0;
        auto sockets = std::make_unique<dp::communication_udp_sockets>(
            [&](const dp::network_card_info& card) {
                return std::make_unique<fake_endpoint>(card, port, logs[next++]);
            },
            cards);
        engine = std::make_unique<dp::device_protocol>(mode, std::move(sockets));
    }
};

}  // namespace beacontest
