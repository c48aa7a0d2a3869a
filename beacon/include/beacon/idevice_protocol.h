#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "beacon/configuration_response.h"
#include "beacon/discovery_response.h"
#include "beacon/event_with_metadata.h"
#include "beacon/export.h"
#include "beacon/localize_response.h"
#include "beacon/system_types.h"

namespace dp {

// The discovery protocol engine as its callers see it. Every send returns the
// datagram's length when every endpoint used took all of it, else -1.
class BEACON_EXPORT idevice_protocol {
public:
    idevice_protocol() = default;
    idevice_protocol(const idevice_protocol&) = default;
    idevice_protocol& operator=(const idevice_protocol&) = default;

    /// Next received message in arrival order, or empty after timeout_ms.
    virtual std::shared_ptr<event_with_metadata> get_next_event(int timeout_ms) = 0;
    /// Broadcasts a discovery request with a fresh request id.
    virtual int send_discovery_request() const = 0;
    /// Sends the response unchanged toward ip (must not be null).
    virtual int send_discovery_response(discovery_response* response,
                                        const std::string& ip) const = 0;
    /// Broadcasts a configuration request with a fresh id and protected
    /// credentials; throws std::invalid_argument("Invalid IP address") for a
    /// bad ip, mask or gateway (an empty text included) before sending.
    virtual int send_configuration_request(const std::string& article_number,
                                           const std::string& serial_number, const std::string& ip,
                                           const std::string& mask, const std::string& gateway,
                                           const std::string& user_defined_name,
                                           const sdk::system::network_method_type& network_method,
                                           const std::string& username,
                                           const std::string& password) const = 0;
    /// Sends the response unchanged toward ip (must not be null).
    virtual int send_configuration_response(configuration_response* response,
                                            const std::string& ip) const = 0;
    /// Broadcasts a localize request with a fresh id and protected credentials.
    virtual int send_localize_request(const std::string& article_number,
                                      const std::string& serial_number, const std::string& username,
                                      const std::string& password) const = 0;
    /// Sends the response unchanged toward ip (must not be null).
    virtual int send_localize_response(localize_response* response,
                                       const std::string& ip) const = 0;

    // The requests that carry credentials, sent to the limited broadcast
    // through the endpoint of the one local card whose address is card_ip
    // and no other: a device answers on the card it is wired to, and the
    // credentials' protection (fixed key, zero IV) is no secret, so they must
    // not reach the other networks. Checked first, before anything else is
    // done: a card_ip that no endpoint has (or the any address) throws
    // std::invalid_argument("Unknown card address"). Otherwise as the
    // overloads without card_ip. An implementation that cannot send through
    // one card keeps this default and sends nothing (-1).
    virtual int send_configuration_request(const std::string& card_ip,
                                           const std::string& article_number,
                                           const std::string& serial_number, const std::string& ip,
                                           const std::string& mask, const std::string& gateway,
                                           const std::string& user_defined_name,
                                           const sdk::system::network_method_type& network_method,
                                           const std::string& username,
                                           const std::string& password) const;
    virtual int send_localize_request(const std::string& card_ip, const std::string& article_number,
                                      const std::string& serial_number, const std::string& username,
                                      const std::string& password) const;

    virtual ~idevice_protocol() = default;

    /// Decides on a discovery answer that repeats a text received before,
    /// apart from its request id: given the repeat_key the answer would carry
    /// and the interface_ip of the endpoint that received it, true takes the
    /// answer as handled, so that it is neither decoded nor queued. Runs on
    /// the receiving threads, several at once; must not block or throw.
    using repeat_filter =
        std::function<bool(std::uint64_t repeat_key, const std::string& interface_ip)>;
    /// Installs the filter (empty: none) for the answers received from now
    /// on. An implementation without repeat keys keeps this default, which
    /// ignores it and queues every answer. (Declared after the destructor:
    /// the slots of the functions above stay where programs built before it
    /// look for them.)
    virtual void set_repeat_filter(repeat_filter filter);
};

}  // namespace dp
