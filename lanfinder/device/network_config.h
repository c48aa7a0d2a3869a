#pragma once

// The operating-system step of the card list query: which of the computer's
// cards are wired Ethernet cards that are up, and their addresses.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One selected card as the operating system reports it.
struct network_adapter {
    // One IPv4 address of the card; both in network byte order.
    struct ipv4_entry {
        std::uint32_t address = 0;
        std::uint32_t mask = 0;
    };

    // The card's first gateway, network byte order; 0 when it has none.
    std::uint32_t gateway = 0;
    // Hardware address; the first 6 bytes are used.
    std::array<std::uint8_t, 8> mac{};
    std::wstring friendlyName;
    // The system's interface index: a card removed and added again gets a
    // new one, even with the same name, MAC and addresses.
    int index = 0;
    // In the order the system lists them.
    std::vector<ipv4_entry> addresses;
};

// Source of the adapter list; tests feed their own adapters through it.
class inetwork_config {
public:
    // A copy of the selected adapters, in the system's order.
    virtual std::vector<network_adapter> adapters() const = 0;
    virtual ~inetwork_config() = default;
};

// Reads the wired Ethernet cards that are up, once, when it is created.
//
// Everything it asks follows the calling thread's network namespace
// (getifaddrs over netlink, ioctl on a socket of its own, the thread's own
// routing table), so a thread that entered another namespace sees that
// namespace's cards.
class network_config : public inetwork_config {
public:
    network_config();
    std::vector<network_adapter> adapters() const override;

private:
    std::vector<network_adapter> adapters_;
};
