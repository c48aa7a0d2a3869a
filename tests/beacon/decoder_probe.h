#pragma once

// Reaches the engine's datagram decoder without a network: an engine with no
// endpoints whose protected decode is made callable.

#include <beacon/beacon.h>

#include <memory>
#include <string>

namespace beacontest {

class decoder_probe : public dp::device_protocol {
public:
    decoder_probe()
        : dp::device_protocol(dp::device_protocol::client,
                              std::make_unique<dp::communication_udp_sockets>(
                                  dp::endpoint_factory{}, std::vector<dp::network_card_info>{})) {}

    using dp::device_protocol::decode;

    std::unique_ptr<dp::event> decode(const std::string& datagram) const {
        return decode(datagram.data(), static_cast<std::int32_t>(datagram.size()));
    }

    template <typename Message>
    std::unique_ptr<Message> decode_as(const std::string& datagram) const {
        auto record = decode(datagram);
        auto* typed = dynamic_cast<Message*>(record.get());
        if (typed == nullptr) {
            return nullptr;
        }
        record.release();
        return std::unique_ptr<Message>(typed);
    }
};

}  // namespace beacontest
