#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "beacon/export.h"
#include "beacon/icommunication_udp.h"
#include "beacon/network_card_info.h"

namespace dp {

/// Makes the endpoint for one card; tests hand in fakes here.
using endpoint_factory =
    std::function<std::unique_ptr<icommunication_udp>(const network_card_info&)>;

// The endpoints of one engine, one per card in card order.
class BEACON_EXPORT communication_udp_sockets {
public:
    /// Calls factory once per card in order. An empty factory throws
    /// std::bad_function_call (only when there is a card); an exception from
    /// the factory destroys the endpoints made so far and propagates.
    communication_udp_sockets(const endpoint_factory& factory,
                              const std::vector<network_card_info>& cards);
    /// Destroys the endpoints in vector order.
    ~communication_udp_sockets();
    communication_udp_sockets(const communication_udp_sockets&) = delete;
    communication_udp_sockets& operator=(const communication_udp_sockets&) = delete;

    /// The endpoints in card order.
    const std::vector<std::unique_ptr<icommunication_udp>>& sockets() const;

private:
    std::vector<std::unique_ptr<icommunication_udp>> sockets_;
};

}  // namespace dp
