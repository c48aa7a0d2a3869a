#include "cards.h"

#include <QtGlobal>

#include "device/NetworkInterfaces.h"

namespace cli {
namespace {

void discard_message(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

void show_card_query_messages(bool show) {
    qInstallMessageHandler(show ? nullptr : discard_message);
}

std::vector<card_address> usable_addresses(const std::string& only_card) {
    std::vector<card_address> result;
    for (const NIC& card : queryNetworkInterfaces()) {
        const std::string name = card.name.get().toStdString();
        if (!only_card.empty() && name != only_card) {
            continue;
        }
        for (const NIC::Address& address : card.addresses.get()) {
            result.push_back(
                {name,
                 {address.ip.get().toStdString(), address.subnetMask.get().toStdString(),
                  card.mac.get().toStdString()}});
        }
    }
    return result;
}

std::vector<std::string> usable_card_names() {
    std::vector<std::string> names;
    for (const NIC& card : queryNetworkInterfaces()) {
        names.push_back(card.name.get().toStdString());
    }
    return names;
}

}  // namespace cli
