#pragma once

#include <QVector>
#include <functional>
#include <vector>

#include <beacon/network_card_info.h>

#include "device/NIC.h"
#include "device/ProtocolEngine.h"

// The computer's cards, as the network interface query lists them.
using CardQuery = std::function<QVector<NIC>()>;

// One protocol card record per address of every card, in card order.
std::vector<dp::network_card_info> cardInfos(const QVector<NIC>& cards);

// The provider the protocol engine calls for every new instance: it queries
// the cards afresh and opens a client-side protocol on all their addresses.
IProtocolProvider makeProtocolProvider(CardQuery query);
