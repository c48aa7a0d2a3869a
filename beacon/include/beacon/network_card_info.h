#pragma once

#include <string>

namespace dp {

// One local IPv4 address of one card: the unit the library opens one UDP
// endpoint for. A card with several addresses appears once per address.
struct network_card_info {
    std::string ip;    ///< dotted IPv4 address
    std::string mask;  ///< dotted network mask
    std::string mac;   ///< the card's hardware address
};

}  // namespace dp
