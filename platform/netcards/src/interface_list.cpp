#include "netcards/interface_list.h"

#include <cerrno>

namespace netcards {

interface_list::interface_list() {
    if (getifaddrs(&list_) != 0) {
        error_ = errno != 0 ? errno : EIO;
        list_ = nullptr;
    }
}

interface_list::~interface_list() {
    if (list_ != nullptr) {
        freeifaddrs(list_);
    }
}

std::string card_of_label(const char* label) {
    const std::string name = label != nullptr ? label : "";
    return name.substr(0, name.find(':'));
}

std::optional<in_addr_t> ipv4_of(const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET) {
        return std::nullopt;
    }
    return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr;
}

}  // namespace netcards
