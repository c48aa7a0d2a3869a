#include "device/network_config.h"

#include <QString>

// <net/if.h> must come before the kernel's headers, which then leave out
// their own copies of its definitions.
#include <net/if.h>

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <linux/wireless.h>
#include <net/if_arp.h>
#include <net/route.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "netcards/interface_list.h"

namespace {

struct candidate {
    std::string name;
    int index = 0;
    network_adapter adapter;
};

// Owns a datagram socket made by the calling thread, so that its ioctl()s
// ask the thread's network namespace.
class thread_socket {
public:
    thread_socket() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~thread_socket() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    thread_socket(const thread_socket&) = delete;
    thread_socket& operator=(const thread_socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

bool sameInode(const char* a, const char* b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a, &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// /sys/class/net shows the namespace that mounted /sys, not the caller's, so
// it is only trusted when the thread is in the process's namespace and the
// entry there really is the same card.
bool sysfsSaysWireless(const std::string& name, int index) {
    if (!sameInode("/proc/thread-self/ns/net", "/proc/self/ns/net")) {
        return false;
    }
    const std::string base = "/sys/class/net/" + name;
    std::ifstream ifindex(base + "/ifindex");
    int sysIndex = -1;
    if (!(ifindex >> sysIndex) || sysIndex != index) {
        return false;
    }
    struct stat st {};
    return ::stat((base + "/wireless").c_str(), &st) == 0 ||
           ::stat((base + "/phy80211").c_str(), &st) == 0;
}

bool isWireless(const thread_socket& sock, const std::string& name, int index) {
    if (sock.fd() >= 0 && name.size() < IFNAMSIZ) {
        iwreq request{};
        std::memcpy(request.ifr_name, name.c_str(), name.size());
        if (::ioctl(sock.fd(), SIOCGIWNAME, &request) == 0) {
            return true;
        }
    }
    return sysfsSaysWireless(name, index);
}

bool parseNumber(const std::string& text, int base, unsigned long& out) {
    errno = 0;
    char* end = nullptr;
    out = std::strtoul(text.c_str(), &end, base);
    return errno == 0 && end && end != text.c_str() && *end == '\0';
}

// The default route with the lowest metric per card, from the thread's own
// routing table (/proc/net would show the process's namespace instead).
void fillGateways(std::vector<candidate>& cards) {
    std::ifstream routes("/proc/thread-self/net/route");
    if (!routes) {
        return;
    }
    std::vector<unsigned long> bestMetric(cards.size(), std::numeric_limits<unsigned long>::max());
    std::string line;
    std::getline(routes, line);  // column titles
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string iface;
        std::string destination;
        std::string gateway;
        std::string flags;
        std::string refCount;
        std::string use;
        std::string metric;
        std::string mask;
        if (!(fields >> iface >> destination >> gateway >> flags >> refCount >> use >> metric >>
              mask)) {
            continue;
        }
        // The table prints each address as the raw network-order word in
        // hex, so reading it back as a number restores network order.
        unsigned long dest = 0;
        unsigned long via = 0;
        unsigned long routeFlags = 0;
        unsigned long routeMask = 0;
        unsigned long routeMetric = 0;
        if (!parseNumber(destination, 16, dest) || !parseNumber(gateway, 16, via) ||
            !parseNumber(flags, 16, routeFlags) || !parseNumber(mask, 16, routeMask) ||
            !parseNumber(metric, 10, routeMetric)) {
            continue;
        }
        if (dest != 0 || routeMask != 0 || via == 0 || !(routeFlags & RTF_UP) ||
            !(routeFlags & RTF_GATEWAY)) {
            continue;
        }
        for (std::size_t i = 0; i < cards.size(); ++i) {
            if (cards[i].name == iface && routeMetric < bestMetric[i]) {
                bestMetric[i] = routeMetric;
                cards[i].adapter.gateway = static_cast<std::uint32_t>(via);
            }
        }
    }
}

std::vector<candidate> selectWiredCards(const netcards::interface_list& list) {
    thread_socket sock;
    std::vector<candidate> cards;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_PACKET || !it->ifa_name) {
            continue;
        }
        const auto* link = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
        const unsigned flags = it->ifa_flags;
        // veth and other virtual 802.3 cards report ARPHRD_ETHER too and
        // count as wired; loopback and wireless cards do not.
        if (link->sll_hatype != ARPHRD_ETHER || (flags & IFF_LOOPBACK) || !(flags & IFF_UP) ||
            !(flags & IFF_RUNNING)) {
            continue;
        }
        if (isWireless(sock, it->ifa_name, link->sll_ifindex)) {
            continue;
        }
        candidate card;
        card.name = it->ifa_name;
        card.index = link->sll_ifindex;
        card.adapter.index = link->sll_ifindex;
        std::memcpy(card.adapter.mac.data(), link->sll_addr,
                    std::min<std::size_t>(link->sll_halen, card.adapter.mac.size()));
        card.adapter.friendlyName = QString::fromLocal8Bit(it->ifa_name).toStdWString();
        cards.push_back(std::move(card));
    }
    for (const ifaddrs& entry : list) {
        const auto address = netcards::ipv4_of(entry.ifa_addr);
        if (!address) {
            continue;
        }
        const std::string name = netcards::card_of_label(entry.ifa_name);
        for (auto& card : cards) {
            if (card.name == name) {
                network_adapter::ipv4_entry ipv4;
                ipv4.address = *address;
                ipv4.mask = netcards::ipv4_of(entry.ifa_netmask).value_or(0);
                card.adapter.addresses.push_back(ipv4);
                break;
            }
        }
    }
    return cards;
}

}  // namespace

network_config::network_config() {
    const netcards::interface_list list;
    if (!list.read()) {
        std::printf("getifaddrs failed with error: %d\n", list.error());
        return;
    }
    auto cards = selectWiredCards(list);
    fillGateways(cards);
    adapters_.reserve(cards.size());
    for (auto& card : cards) {
        adapters_.push_back(std::move(card.adapter));
    }
}

std::vector<network_adapter> network_config::adapters() const {
    return adapters_;
}
