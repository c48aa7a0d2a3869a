#include "ipv4text/ipv4_text.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

namespace ipv4text {
namespace {

bool contiguous(std::uint32_t mask) {
    const std::uint32_t inverted = ~mask;
    return (inverted & (inverted + 1)) == 0;
}

bool unicast(std::uint32_t address) {
    const std::uint32_t first = address >> 24;
    return first != 0 && first != 127 && first < 224;
}

bool host_part(std::uint32_t address, std::uint32_t mask) {
    if ((~mask) < 3) {
        return true;
    }
    const std::uint32_t host = address & ~mask;
    return host != 0 && host != ~mask;
}

}  // namespace

std::optional<std::uint32_t> parse(const std::string& text) {
    in_addr parsed{};
    // inet_pton reads up to the first NUL; a text with one inside is not the
    // address its prefix names.
    if (text.find('\0') != std::string::npos || inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        return std::nullopt;
    }
    return ntohl(parsed.s_addr);
}

bool is_valid_host(const std::string& ip, const std::string& mask, const std::string& gateway) {
    const auto a = parse(ip);
    const auto m = parse(mask);
    const auto g = parse(gateway);
    if (!a || !m || !g || *m == 0 || !contiguous(*m) || !unicast(*a) || !host_part(*a, *m)) {
        return false;
    }
    if (*g == 0) {
        return true;
    }
    return *g != *a && (*g & *m) == (*a & *m) && unicast(*g) && host_part(*g, *m);
}

std::string format(std::uint32_t address) {
    // Written digit by digit: the receive threads name the sender of every
    // datagram, and inet_ntop goes through the printf machinery.
    char text[16];
    char* at = text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned part = (address >> shift) & 0xffu;
        if (part >= 100) {
            *at++ = static_cast<char>('0' + part / 100);
        }
        if (part >= 10) {
            *at++ = static_cast<char>('0' + part / 10 % 10);
        }
        *at++ = static_cast<char>('0' + part % 10);
        if (shift != 0) {
            *at++ = '.';
        }
    }
    return std::string(text, at);
}

}  // namespace ipv4text
