#include "FakeNetworkConfig.h"

#include <arpa/inet.h>

namespace fakes {
namespace {

std::uint32_t ipv4(const std::string& text) {
    in_addr address{};
    inet_pton(AF_INET, text.c_str(), &address);
    return address.s_addr;
}

}  // namespace

network_adapter makeAdapter(const std::wstring& name, std::vector<std::uint8_t> mac,
                            const std::vector<std::pair<std::string, std::string>>& addresses,
                            const std::string& gateway) {
    network_adapter adapter;
    adapter.friendlyName = name;
    for (std::size_t i = 0; i < mac.size() && i < adapter.mac.size(); ++i) {
        adapter.mac[i] = mac[i];
    }
    for (const auto& [ip, mask] : addresses) {
        adapter.addresses.push_back({ipv4(ip), ipv4(mask)});
    }
    adapter.gateway = ipv4(gateway);
    return adapter;
}

NetworkConfigScope::NetworkConfigScope(std::vector<network_adapter> adapters) {
    setNetworkConfigFactory([adapters] { return std::make_unique<FakeNetworkConfig>(adapters); });
}

NetworkConfigScope::~NetworkConfigScope() {
    setNetworkConfigFactory({});
}

}  // namespace fakes
