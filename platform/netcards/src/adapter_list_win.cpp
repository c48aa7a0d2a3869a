#include "netcards/adapter_list.h"

namespace netcards {

adapter_list::adapter_list() {
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    // The list can grow between the size query and the call: retry a few
    // times with the size the system asked for.
    ULONG size = 16 * 1024;
    error_ = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && error_ == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer_.resize(size);
        error_ =
            GetAdaptersAddresses(AF_INET, flags, nullptr,
                                 reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer_.data()), &size);
    }
    if (error_ == ERROR_NO_DATA) {
        error_ = NO_ERROR;  // no adapters is an empty list, not a failure
    }
    if (error_ != NO_ERROR || size == 0) {
        buffer_.clear();
    }
}

const IP_ADAPTER_ADDRESSES* adapter_list::first() const {
    if (buffer_.empty()) {
        return nullptr;
    }
    return reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer_.data());
}

std::string friendly_name(const IP_ADAPTER_ADDRESSES& adapter) {
    const wchar_t* text = adapter.FriendlyName;
    if (text == nullptr) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back();  // the terminating zero
    return out;
}

std::optional<ULONG> ipv4_of(const IP_ADAPTER_UNICAST_ADDRESS& unicast) {
    const sockaddr* address = unicast.Address.lpSockaddr;
    if (address == nullptr || address->sa_family != AF_INET) {
        return std::nullopt;
    }
    return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr;
}

ULONG netmask_of(const IP_ADAPTER_UNICAST_ADDRESS& unicast) {
    ULONG mask = 0;
    ConvertLengthToIpv4Mask(unicast.OnLinkPrefixLength, &mask);
    return mask;
}

}  // namespace netcards
