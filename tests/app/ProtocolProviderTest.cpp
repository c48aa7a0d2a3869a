#include <gtest/gtest.h>

#include <beacon/idevice_protocol.h>

#include "app/ProtocolProvider.h"

namespace {

NIC card(const QString& mac, const QVector<NIC::Address>& addresses) {
    NIC nic;
    nic.mac.set(mac);
    nic.name.set("eth");
    nic.addresses.set(addresses);
    return nic;
}

}  // namespace

TEST(ProtocolProvider, GivesOneCardRecordPerAddressInCardOrder) {
    const QVector<NIC> cards = {
        card("00:00:00:00:00:01",
             {NIC::Address("10.0.0.1", "255.0.0.0"), NIC::Address("10.1.0.1", "255.255.0.0")}),
        card("00:00:00:00:00:02", {}),
        card("00:00:00:00:00:03", {NIC::Address("192.168.1.2", "255.255.255.0")}),
    };
    const std::vector<dp::network_card_info> infos = cardInfos(cards);
    ASSERT_EQ(infos.size(), 3u);
    EXPECT_EQ(infos[0].ip, "10.0.0.1");
    EXPECT_EQ(infos[0].mask, "255.0.0.0");
    EXPECT_EQ(infos[0].mac, "00:00:00:00:00:01");
    EXPECT_EQ(infos[1].ip, "10.1.0.1");
    EXPECT_EQ(infos[1].mac, "00:00:00:00:00:01");
    EXPECT_EQ(infos[2].ip, "192.168.1.2");
    EXPECT_EQ(infos[2].mask, "255.255.255.0");
    EXPECT_EQ(infos[2].mac, "00:00:00:00:00:03");
}

TEST(ProtocolProvider, NoCardsGiveNoRecords) {
    EXPECT_TRUE(cardInfos({}).empty());
}

TEST(ProtocolProvider, QueriesTheCardsAfreshForEveryInstance) {
    int queries = 0;
    IProtocolProvider provider = makeProtocolProvider([&queries] {
        ++queries;
        return QVector<NIC>();
    });
    ASSERT_TRUE(static_cast<bool>(provider));
    EXPECT_EQ(queries, 0);
    try {
        provider();
    } catch (...) {
        // An instance on no cards may be refused; the query is what counts.
    }
    try {
        provider();
    } catch (...) {
    }
    EXPECT_EQ(queries, 2);
}
