#include "ipv4text/ipv4_text.h"

#include <arpa/inet.h>

namespace ipv4text {

std::optional<std::uint32_t> parse(const std::string& text) {
    in_addr parsed{};
    // inet_pton reads up to the first NUL; a text with one inside is not the
    // address its prefix names.
    if (text.find('\0') != std::string::npos || inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        return std::nullopt;
    }
    return ntohl(parsed.s_addr);
}

std::string format(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xff) + "." +
           std::to_string((address >> 8) & 0xff) + "." + std::to_string(address & 0xff);
}

}  // namespace ipv4text
