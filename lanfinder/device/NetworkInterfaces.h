#pragma once

#include <QVector>

#include <functional>
#include <memory>

#include "device/NIC.h"
#include "device/network_config.h"

// Makes the source of the adapter list that one card list query reads.
using NetworkConfigFactory = std::function<std::unique_ptr<inetwork_config>()>;

// The computer's wired Ethernet cards that are up, in the system's order,
// without the cards named exactly cam1 to cam4. Never fails: when nothing
// qualifies or the system cannot be asked, the list is empty. Safe to call
// from any thread at once; it reads the system afresh every time.
QVector<NIC> queryNetworkInterfaces();

// Replaces what the query reads (tests feed their own adapters); an empty
// factory restores the operating system's list.
void setNetworkConfigFactory(NetworkConfigFactory factory);

// The cards made from adapter records: name cut to fit 63 bytes in the local
// character set, MAC as "00:1A:2B:3C:4D:5E", dotted addresses, one gateway.
QVector<NIC> nicsFromAdapters(const std::vector<network_adapter>& adapters);
