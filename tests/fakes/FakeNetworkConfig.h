#pragma once

#include <string>
#include <vector>

#include "device/NetworkInterfaces.h"
#include "device/network_config.h"

namespace fakes {

// An adapter record from texts: addresses as {"10.0.0.1", "255.255.255.0"}.
network_adapter makeAdapter(const std::wstring& name, std::vector<std::uint8_t> mac,
                            const std::vector<std::pair<std::string, std::string>>& addresses,
                            const std::string& gateway = "0.0.0.0");

// A fixed adapter list.
class FakeNetworkConfig : public inetwork_config {
public:
    explicit FakeNetworkConfig(std::vector<network_adapter> adapters)
        : m_adapters(std::move(adapters)) {}
    std::vector<network_adapter> adapters() const override { return m_adapters; }

private:
    std::vector<network_adapter> m_adapters;
};

// Makes every card list query read the given adapters while it lives.
class NetworkConfigScope {
public:
    explicit NetworkConfigScope(std::vector<network_adapter> adapters);
    ~NetworkConfigScope();
    NetworkConfigScope(const NetworkConfigScope&) = delete;
    NetworkConfigScope& operator=(const NetworkConfigScope&) = delete;
};

}  // namespace fakes
