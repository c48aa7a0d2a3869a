#include "app/ProtocolProvider.h"

#include <beacon/device_protocol.h>

std::vector<dp::network_card_info> cardInfos(const QVector<NIC>& cards) {
    std::vector<dp::network_card_info> infos;
    for (const NIC& card : cards) {
        for (const NIC::Address& address : card.addresses.get()) {
            infos.push_back(dp::network_card_info{address.ip.get().toStdString(),
                                                  address.subnetMask.get().toStdString(),
                                                  card.mac.get().toStdString()});
        }
    }
    return infos;
}

IProtocolProvider makeProtocolProvider(CardQuery query) {
    return [query]() -> std::unique_ptr<dp::idevice_protocol> {
        return dp::device_protocol::instance(dp::device_protocol::client, cardInfos(query()));
    };
}
