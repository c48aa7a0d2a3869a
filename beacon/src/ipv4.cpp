#include "ipv4.h"

#include <arpa/inet.h>

namespace dp::ipv4 {

std::optional<std::uint32_t> parse(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return ntohl(address.s_addr);
}

bool same_subnet(const std::string& address, const std::string& mask, const std::string& target) {
    auto a = parse(address);
    auto m = parse(mask);
    auto t = parse(target);
    if (!a || !m || !t) {
        return false;
    }
    return (*a & *m) == (*t & *m);
}

}  // namespace dp::ipv4
