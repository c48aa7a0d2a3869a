#include "cards.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <fstream>
#include <stdexcept>

#include "ipv4.h"
#include "netcards/interface_list.h"

namespace sim {
namespace {

std::string mac_of(const std::string& interface) {
    std::ifstream in("/sys/class/net/" + interface + "/address");
    std::string mac;
    in >> mac;
    return mac;
}

}  // namespace

std::vector<dp::network_card_info> resolve_cards(const std::vector<std::string>& cards,
                                                 const std::vector<std::string>& interfaces) {
    std::vector<dp::network_card_info> out;
    for (const auto& text : cards) {
        auto c = ipv4::parse_cidr(text);
        if (!c) {
            throw card_error("not an address with a mask: " + text);
        }
        out.push_back({ipv4::format(c->address), ipv4::format(c->mask), "02:00:00:00:00:00"});
    }
    if (interfaces.empty()) {
        return out;
    }
    const netcards::interface_list list;
    if (!list.read()) {
        throw card_error("cannot list the network interfaces");
    }
    for (const auto& name : interfaces) {
        bool found = false;
        for (const ifaddrs& a : list) {
            const auto ip = netcards::ipv4_of(a.ifa_addr);
            if (name != a.ifa_name || !ip || !a.ifa_netmask) {
                continue;
            }
            const auto mask = reinterpret_cast<const sockaddr_in*>(a.ifa_netmask)->sin_addr.s_addr;
            out.push_back({ipv4::format(ntohl(*ip)), ipv4::format(ntohl(mask)), mac_of(name)});
            found = true;
        }
        if (!found) {
            throw card_error("interface " + name + " does not exist or has no IPv4 address");
        }
    }
    return out;
}

bool in_named_network_namespace() {
    struct stat mine {};
    if (stat("/proc/self/ns/net", &mine) != 0) {
        return false;
    }
    // "ip netns add" keeps each namespace it makes bound under /run/netns;
    // the machine's own namespace is never among them.
    DIR* dir = opendir("/run/netns");
    if (!dir) {
        return false;
    }
    bool found = false;
    while (dirent* e = readdir(dir)) {
        struct stat named {};
        std::string path = std::string("/run/netns/") + e->d_name;
        if (e->d_name[0] != '.' && stat(path.c_str(), &named) == 0 && named.st_ino == mine.st_ino &&
            named.st_dev == mine.st_dev) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

bool all_loopback(const std::vector<dp::network_card_info>& cards) {
    for (const auto& c : cards) {
        auto ip = ipv4::parse(c.ip);
        if (!ip || (*ip >> 24) != 127) {
            return false;
        }
    }
    return !cards.empty();
}

}  // namespace sim
