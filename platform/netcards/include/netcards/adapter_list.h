#pragma once

// The one walk over Windows' adapter list (the IP Helper's
// GetAdaptersAddresses) for the library's transport and the CLI's card
// list, as interface_list.h is on Linux. Each caller keeps its own rules
// for which adapters count.

#include <winsock2.h>
// iphlpapi.h after winsock2.h: it needs its types.
#include <iphlpapi.h>

#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace netcards {

// The adapters with their IPv4 addresses (no anycast, multicast or DNS
// server entries). Owns the buffer the list lives in.
class adapter_list {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = IP_ADAPTER_ADDRESSES;
        using difference_type = std::ptrdiff_t;
        using pointer = const IP_ADAPTER_ADDRESSES*;
        using reference = const IP_ADAPTER_ADDRESSES&;

        explicit iterator(const IP_ADAPTER_ADDRESSES* entry) : entry_(entry) {}
        reference operator*() const { return *entry_; }
        pointer operator->() const { return entry_; }
        iterator& operator++() {
            entry_ = entry_->Next;
            return *this;
        }
        bool operator==(const iterator& other) const { return entry_ == other.entry_; }
        bool operator!=(const iterator& other) const { return entry_ != other.entry_; }

    private:
        const IP_ADAPTER_ADDRESSES* entry_;
    };

    // Reads the list; when the system refuses, the list is empty and
    // error() holds the Windows error code.
    adapter_list();
    adapter_list(const adapter_list&) = delete;
    adapter_list& operator=(const adapter_list&) = delete;

    bool read() const { return error_ == NO_ERROR; }
    unsigned long error() const { return error_; }
    iterator begin() const { return iterator(first()); }
    iterator end() const { return iterator(nullptr); }

private:
    const IP_ADAPTER_ADDRESSES* first() const;

    std::vector<unsigned char> buffer_;
    unsigned long error_ = NO_ERROR;
};

// The name Windows shows for the adapter ("Ethernet 2"), in UTF-8.
std::string friendly_name(const IP_ADAPTER_ADDRESSES& adapter);

// The IPv4 address (network byte order) a unicast entry holds, or nothing
// for another family.
std::optional<ULONG> ipv4_of(const IP_ADAPTER_UNICAST_ADDRESS& unicast);

// The entry's subnet mask (network byte order).
ULONG netmask_of(const IP_ADAPTER_UNICAST_ADDRESS& unicast);

}  // namespace netcards
