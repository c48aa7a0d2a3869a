#include "ipv4.h"

#include <cstdlib>

namespace sim::ipv4 {

std::uint32_t mask_of_prefix(int prefix) {
    if (prefix <= 0) {
        return 0;
    }
    if (prefix >= 32) {
        return 0xffffffffu;
    }
    return ~((1u << (32 - prefix)) - 1);
}

std::optional<int> prefix_of_mask(std::uint32_t mask) {
    int prefix = 0;
    while (prefix < 32 && (mask & (0x80000000u >> prefix))) {
        ++prefix;
    }
    if (mask_of_prefix(prefix) != mask) {
        return std::nullopt;
    }
    return prefix;
}

std::optional<cidr> parse_cidr(const std::string& text) {
    auto slash = text.find('/');
    if (slash == std::string::npos) {
        return std::nullopt;
    }
    auto address = parse(text.substr(0, slash));
    std::string tail = text.substr(slash + 1);
    if (!address || tail.empty()) {
        return std::nullopt;
    }
    if (tail.find('.') != std::string::npos) {
        auto mask = parse(tail);
        if (!mask || !prefix_of_mask(*mask)) {
            return std::nullopt;
        }
        return cidr{*address, *mask};
    }
    char* end = nullptr;
    long prefix = std::strtol(tail.c_str(), &end, 10);
    if (*end != '\0' || prefix < 0 || prefix > 32) {
        return std::nullopt;
    }
    return cidr{*address, mask_of_prefix(static_cast<int>(prefix))};
}

std::string format_cidr(const cidr& value) {
    return format(value.address) + "/" + std::to_string(prefix_of_mask(value.mask).value_or(0));
}

bool is_reserved_host(std::uint32_t address) {
    std::uint32_t first = address >> 24;
    return address == 0 || address == 0xffffffffu || first == 0 || first == 127 ||
           (address >> 16) == 0xa9fe /* 169.254/16 */ || first >= 224;
}

}  // namespace sim::ipv4
