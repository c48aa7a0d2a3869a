#pragma once

// The addresses the tool opens endpoints on: lanfinder's own card selection
// (wired Ethernet cards that are up, the camera ports left out).

#include <string>
#include <vector>

#include <beacon/network_card_info.h>

namespace cli {

struct card_address {
    std::string card_name;
    dp::network_card_info info;
};

// Every IPv4 address of the selected cards, in the system's order; only the
// card named only_card when it is not empty.
std::vector<card_address> usable_addresses(const std::string& only_card);

// The card query reports through Qt's message functions; a tool whose
// standard error belongs to its user shows them only when asked to.
void show_card_query_messages(bool show);

// The names of the selected cards, for the message when only_card is unknown.
std::vector<std::string> usable_card_names();

}  // namespace cli
