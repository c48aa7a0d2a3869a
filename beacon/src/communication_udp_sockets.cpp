#include "beacon/communication_udp_sockets.h"

namespace dp {

communication_udp_sockets::communication_udp_sockets(const endpoint_factory& factory,
                                                     const std::vector<network_card_info>& cards) {
    sockets_.reserve(cards.size());
    for (const auto& card : cards) {
        sockets_.push_back(factory(card));
    }
}

communication_udp_sockets::~communication_udp_sockets() {
    for (auto& socket : sockets_) {
        socket.reset();
    }
}

const std::vector<std::unique_ptr<icommunication_udp>>& communication_udp_sockets::sockets() const {
    return sockets_;
}

}  // namespace dp
