#pragma once

// Turning the command line's --card and --interface into the library's card
// list, and the guard that keeps the simulator off the machine's own cards.

#include <stdexcept>
#include <string>
#include <vector>

#include <beacon/network_card_info.h>

namespace sim {

struct card_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Every --card as given, then every IPv4 address of every --interface.
// Throws card_error for an interface that does not exist or has no IPv4
// address.
std::vector<dp::network_card_info> resolve_cards(const std::vector<std::string>& cards,
                                                 const std::vector<std::string>& interfaces);

// True when this process runs in a namespace made with "ip netns add" (a
// lab), whose cards are not the machine's own.
bool in_named_network_namespace();

bool all_loopback(const std::vector<dp::network_card_info>& cards);

}  // namespace sim
