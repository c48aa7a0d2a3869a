#pragma once

#include <string>
#include <vector>

#include <beacon/discovery_response.h>

namespace cli {

// One device as a scan saw it: its latest answer and where it answered.
struct found_device {
    // Lower-cased "<article>_<serial>".
    std::string id;
    dp::discovery_response answer;
    // The card that received the answer (name and address) and the sender.
    std::string card_name;
    std::string card_ip;
    std::string sender_ip;
};

// The id lanfinder gives the device of this answer.
std::string device_id(const dp::discovery_response& answer);

// Devices sorted by id as a column table with a heading line.
std::string device_table(const std::vector<found_device>& devices);

// One compact JSON object, without a line end; keys as lanfinder's state
// uses them, plus "card", "cardIp" and "senderIp".
std::string device_json(const found_device& device);

// Device texts go to a terminal: control characters (escape sequences
// included) become "?" so a device name cannot drive the terminal.
std::string printable(const std::string& text);

}  // namespace cli
