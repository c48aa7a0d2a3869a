#pragma once

// The one walk over the system's interface list (getifaddrs) for the
// library's transport, the program's card query and the simulator. Each
// caller keeps its own rules for which entries count.

#include <ifaddrs.h>
#include <netinet/in.h>

#include <iterator>
#include <optional>
#include <string>

namespace netcards {

// The interface addresses as the calling thread's network namespace sees
// them (not /sys, which shows the namespace that mounted it). Owns the list
// getifaddrs made and frees it.
class interface_list {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = ifaddrs;
        using difference_type = std::ptrdiff_t;
        using pointer = const ifaddrs*;
        using reference = const ifaddrs&;

        explicit iterator(const ifaddrs* entry) : entry_(entry) {}
        reference operator*() const { return *entry_; }
        pointer operator->() const { return entry_; }
        iterator& operator++() {
            entry_ = entry_->ifa_next;
            return *this;
        }
        bool operator==(const iterator& other) const { return entry_ == other.entry_; }
        bool operator!=(const iterator& other) const { return entry_ != other.entry_; }

    private:
        const ifaddrs* entry_;
    };

    // Reads the list; when the system refuses, the list is empty and
    // error() holds the errno.
    interface_list();
    ~interface_list();
    interface_list(const interface_list&) = delete;
    interface_list& operator=(const interface_list&) = delete;

    bool read() const { return error_ == 0; }
    int error() const { return error_; }
    iterator begin() const { return iterator(list_); }
    iterator end() const { return iterator(nullptr); }

private:
    ifaddrs* list_ = nullptr;
    int error_ = 0;
};

// The card an address label names: "eth0:1" is an address of eth0; an entry
// without a name gives "".
std::string card_of_label(const char* label);

// The IPv4 address (network byte order) a socket address holds, or nothing
// when it is absent or of another family.
std::optional<in_addr_t> ipv4_of(const sockaddr* address);

}  // namespace netcards
