#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "beacon/communication_udp_sockets.h"
#include "beacon/event.h"
#include "beacon/export.h"
#include "beacon/idevice_protocol.h"
#include "beacon/network_card_info.h"

namespace dp {

class answer_memo;

// The engine: one endpoint per local address, every received datagram decoded
// and queued, every send written through every endpoint (broadcast by
// default) unless it names one card. Keep it on one thread; netbridge threads only feed the queue.
class BEACON_EXPORT device_protocol : public idevice_protocol {
public:
    // Which well-known port the engine listens on and which it sends to.
    enum operating_mode : std::int32_t {
        device = 0,  ///< listens on 33001, sends to 33002
        client = 1,  ///< listens on 33002, sends to 33001 (any value but 0)
    };

    /// Opens, enables broadcast on and binds one real endpoint per card.
    /// Throws std::runtime_error("Cannot activate broadcast on socket") or
    /// protocol_exception; nothing half-built is returned.
    static std::unique_ptr<idevice_protocol> instance(operating_mode mode,
                                                      std::vector<network_card_info> cards);

    /// Prepares every endpoint of the set (broadcast, bind, callback) in order;
    /// throws as instance() does.
    device_protocol(operating_mode mode, std::unique_ptr<communication_udp_sockets> sockets);
    /// Closes every endpoint first, so no callback outlives the engine.
    ~device_protocol() override;
    device_protocol(const device_protocol&) = delete;
    device_protocol& operator=(const device_protocol&) = delete;
    device_protocol(device_protocol&&) = delete;
    device_protocol& operator=(device_protocol&&) = delete;

    std::shared_ptr<event_with_metadata> get_next_event(int timeout_ms) override;
    int send_discovery_request() const override;
    int send_discovery_response(discovery_response* response, const std::string& ip) const override;
    int send_configuration_request(const std::string& article_number,
                                   const std::string& serial_number, const std::string& ip,
                                   const std::string& mask, const std::string& gateway,
                                   const std::string& user_defined_name,
                                   const sdk::system::network_method_type& network_method,
                                   const std::string& username,
                                   const std::string& password) const override;
    int send_configuration_response(configuration_response* response,
                                    const std::string& ip) const override;
    int send_localize_request(const std::string& article_number, const std::string& serial_number,
                              const std::string& username,
                              const std::string& password) const override;
    int send_localize_response(localize_response* response, const std::string& ip) const override;
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
    void set_repeat_filter(repeat_filter filter) override;

protected:
    /// One datagram to one record, or empty when it is no message of ours.
    std::unique_ptr<event> decode(const char* data, std::int32_t length) const;

private:
    // decode(), and the repeat key of a discovery answer (0 when not compared).
    // With a take function a repeat is first offered to it; taken, nothing
    // is decoded and the result is empty.
    std::unique_ptr<event> decode_answer(const char* data, std::int32_t length,
                                         std::uint64_t& repeat_key,
                                         const std::function<bool(std::uint64_t)>& take = {}) const;
    void on_datagram(const std::string& data, const std::string& sender_ip,
                     const std::string& interface_ip);
    int send(const std::string& text, const std::string& target) const;
    // The endpoint of the card with this address; throws for an unknown one.
    icommunication_udp& endpoint_of(const std::string& card_ip) const;
    int send_through(icommunication_udp& endpoint, const std::string& text) const;

    std::uint16_t destination_port_;
    std::deque<std::shared_ptr<event_with_metadata>> queue_;
    std::mutex queue_mutex_;
    std::condition_variable queue_signal_;
    std::unique_ptr<communication_udp_sockets> sockets_;
    std::promise<int> arrival_promise_;
    std::future<int> arrival_future_;
    std::mutex arrival_mutex_;
    bool arrival_signalled_ = false;
    // Repeated discovery answers, so that they are not parsed again.
    std::unique_ptr<answer_memo> answers_;
    // Read by every receive thread per answer, replaced by set_repeat_filter
    // (std::atomic_load/store).
    std::shared_ptr<const repeat_filter> filter_;
};

}  // namespace dp
