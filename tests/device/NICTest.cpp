#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextCodec>

#include "FakeNetworkConfig.h"
#include "device/NICModel.h"
#include "device/NetworkInterfaces.h"

using fakes::makeAdapter;
using fakes::NetworkConfigScope;

namespace {

NIC card(const QString& name, const QVector<NIC::Address>& addresses,
         const QString& gateway = "0.0.0.0") {
    NIC nic;
    nic.mac.set("00:1A:2B:3C:4D:5E");
    nic.name.set(name);
    nic.addresses.set(addresses);
    nic.gateways.set({gateway});
    return nic;
}

QString thrownBy(const std::function<void()>& action) {
    try {
        action();
    } catch (const QString& message) {
        return message;
    }
    return QString();
}

}  // namespace

// --- JSON form and equality -----------------------------------------------------

TEST(NicJson, WritesMacNameAddressesAndGateways) {
    const auto json =
        card("eth0", {{"10.0.0.1", "255.255.255.0"}, {"10.0.1.1", "255.255.0.0"}}, "10.0.0.254")
            .toJson()
            .toObject();
    EXPECT_EQ(json.keys(), (QStringList{"addresses", "gateways", "mac", "name"}));
    EXPECT_EQ(json["mac"].toString(), "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(json["name"].toString(), "eth0");
    const QJsonArray addresses = json["addresses"].toArray();
    ASSERT_EQ(addresses.size(), 2);
    EXPECT_EQ(addresses[1].toObject(),
              (QJsonObject{{"ip", "10.0.1.1"}, {"subnetMask", "255.255.0.0"}}));
    EXPECT_EQ(json["gateways"].toArray(), (QJsonArray{"10.0.0.254"}));
}

TEST(NicJson, ReadsBackWhatItWrote) {
    const NIC original = card("eth0", {{"10.0.0.1", "255.255.255.0"}}, "10.0.0.254");
    NIC copy;
    EXPECT_TRUE(copy.fromJson(original.toJson()));
    EXPECT_EQ(copy, original);
}

TEST(NicJson, MissingArraysReadAsEmpty) {
    NIC nic;
    nic.fromJson(QJsonObject{{"mac", "AA:BB:CC:DD:EE:FF"}, {"name", "eth9"}});
    EXPECT_EQ(nic.name.get(), "eth9");
    EXPECT_TRUE(nic.addresses.get().isEmpty());
    EXPECT_TRUE(nic.gateways.get().isEmpty());
}

TEST(NicJson, MissingNameOrAddressKeyThrowsItsName) {
    NIC nic;
    EXPECT_EQ(thrownBy([&] { nic.fromJson(QJsonObject{{"mac", "x"}}); }), "name not found");
    NIC other;
    EXPECT_EQ(
        thrownBy([&] {
            other.fromJson(QJsonObject{
                {"mac", "x"}, {"name", "y"}, {"addresses", QJsonArray{QJsonObject{{"ip", "1"}}}}});
        }),
        "subnetMask not found");
}

TEST(NicJson, GatewaysAreTakenAsText) {
    NIC nic;
    nic.fromJson(QJsonObject{{"mac", "x"}, {"name", "y"}, {"gateways", QJsonArray{"1.2.3.4", 7}}});
    EXPECT_EQ(nic.gateways.get(), (QVector<QString>{"1.2.3.4", "7"}));
}

TEST(NicEquality, EveryFieldCounts) {
    const NIC base = card("eth0", {{"10.0.0.1", "255.255.255.0"}});
    EXPECT_EQ(base, card("eth0", {{"10.0.0.1", "255.255.255.0"}}));
    EXPECT_NE(base, card("eth1", {{"10.0.0.1", "255.255.255.0"}}));
    EXPECT_NE(base, card("eth0", {{"10.0.0.2", "255.255.255.0"}}));
    EXPECT_NE(base, card("eth0", {{"10.0.0.1", "255.255.0.0"}}));
    EXPECT_NE(base, card("eth0", {{"10.0.0.1", "255.255.255.0"}, {"10.0.0.1", "255.255.255.0"}}));
    EXPECT_NE(base, card("eth0", {{"10.0.0.1", "255.255.255.0"}}, "10.0.0.254"));
    NIC otherMac = base;
    otherMac.mac.set("00:1A:2B:3C:4D:5F");
    EXPECT_NE(base, otherMac);
    // The same card plugged in again: only the system's index tells.
    NIC replugged = base;
    replugged.interfaceIndex = base.interfaceIndex + 1;
    EXPECT_NE(base, replugged);
}

TEST(NicEquality, ListsInAnotherOrderDiffer) {
    const QVector<NIC> one{card("a", {}), card("b", {})};
    const QVector<NIC> other{card("b", {}), card("a", {})};
    EXPECT_NE(one, other);
    EXPECT_EQ(one, (QVector<NIC>{card("a", {}), card("b", {})}));
}

TEST(NicModel, UpdateReplacesEveryCardInOrder) {
    NICModel model({card("a", {}), card("b", {})});
    const auto firstA = model.items().at(0);
    model.update({card("c", {}), card("a", {})});
    ASSERT_EQ(model.items().size(), 2);
    EXPECT_EQ(model.items().at(0)->name.get(), "c");
    EXPECT_EQ(model.items().at(1)->name.get(), "a");
    EXPECT_NE(model.items().at(1), firstA);
    EXPECT_EQ(model.toJson().toArray().size(), 2);
}

// --- The card list query over given adapters ----------------------------------------

TEST(CardQuery, FormatsMacAddressesAndGateway) {
    NetworkConfigScope scope({makeAdapter(
        L"Ethernet", {0, 26, 43, 60, 77, 94, 0xff, 0xff},
        {{"192.168.1.10", "255.255.255.0"}, {"10.0.0.5", "255.0.0.0"}}, "192.168.1.1")});
    const auto cards = queryNetworkInterfaces();
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0].mac.get(), "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(cards[0].name.get(), "Ethernet");
    EXPECT_EQ(cards[0].addresses.get(), (QVector<NIC::Address>{{"192.168.1.10", "255.255.255.0"},
                                                               {"10.0.0.5", "255.0.0.0"}}));
    EXPECT_EQ(cards[0].gateways.get(), QVector<QString>{"192.168.1.1"});
}

TEST(CardQuery, CarriesTheInterfaceIndex) {
    auto adapter = makeAdapter(L"eth0", {1, 2, 3, 4, 5, 6}, {{"10.0.0.5", "255.0.0.0"}});
    adapter.index = 7;
    NetworkConfigScope scope({adapter});
    const auto cards = queryNetworkInterfaces();
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0].interfaceIndex, 7);
}

TEST(CardQuery, ACardWithoutGatewayShowsZeroes) {
    NetworkConfigScope scope({makeAdapter(L"eth0", {1, 2, 3, 4, 5, 6}, {})});
    const auto cards = queryNetworkInterfaces();
    ASSERT_EQ(cards.size(), 1);
    EXPECT_TRUE(cards[0].addresses.get().isEmpty());
    EXPECT_EQ(cards[0].gateways.get(), QVector<QString>{"0.0.0.0"});
}

TEST(CardQuery, LeavesOutExactlyTheCameraPortsCam1ToCam4) {
    std::vector<network_adapter> adapters;
    for (const wchar_t* name : {L"cam1", L"cam2", L"cam3", L"cam4", L"cam5", L"Cam2", L"cam2x",
                                L"xcam2", L"cam", L"cam12"}) {
        adapters.push_back(makeAdapter(name, {1, 2, 3, 4, 5, 6}, {{"10.0.0.1", "255.0.0.0"}}));
    }
    NetworkConfigScope scope(adapters);
    QStringList names;
    for (const auto& nic : queryNetworkInterfaces()) {
        names << nic.name.get();
    }
    EXPECT_EQ(names, (QStringList{"cam5", "Cam2", "cam2x", "xcam2", "cam", "cam12"}));
}

TEST(CardQuery, OnlyCameraPortsGiveAnEmptyList) {
    NetworkConfigScope scope({makeAdapter(L"cam2", {1, 2, 3, 4, 5, 6}, {})});
    EXPECT_TRUE(queryNetworkInterfaces().isEmpty());
}

TEST(CardQuery, NoAdaptersGiveAnEmptyList) {
    NetworkConfigScope scope({});
    EXPECT_TRUE(queryNetworkInterfaces().isEmpty());
}

TEST(CardQuery, LongNamesAreCutToFitTheBufferWithoutSplittingACharacter) {
    const std::wstring longAscii(100, L'n');
    // 40 two-byte characters: 80 bytes in UTF-8.
    const std::wstring longAccented(40, L'\u00e9');
    NetworkConfigScope scope({makeAdapter(longAscii, {1}, {}), makeAdapter(longAccented, {2}, {})});
    const auto cards = queryNetworkInterfaces();
    ASSERT_EQ(cards.size(), 2);
    EXPECT_EQ(cards[0].name.get(), QString(63, 'n'));
    if (QTextCodec::codecForLocale()->name() == "UTF-8") {
        EXPECT_EQ(cards[1].name.get(), QString(31, QChar(0x00e9)));
    }
    EXPECT_LE(cards[1].name.get().toLocal8Bit().size(), 63);
}

TEST(CardQuery, KeepsTheAdapterOrder) {
    NetworkConfigScope scope({makeAdapter(L"b", {1}, {}), makeAdapter(L"a", {2}, {})});
    const auto cards = queryNetworkInterfaces();
    ASSERT_EQ(cards.size(), 2);
    EXPECT_EQ(cards[0].name.get(), "b");
    EXPECT_EQ(cards[1].name.get(), "a");
}

TEST(CardQuery, ASourceThatFailsGivesAnEmptyList) {
    setNetworkConfigFactory(
        []() -> std::unique_ptr<inetwork_config> { throw std::runtime_error("no netlink"); });
    const auto failing = queryNetworkInterfaces();
    setNetworkConfigFactory([] { return std::unique_ptr<inetwork_config>(); });
    const auto missing = queryNetworkInterfaces();
    setNetworkConfigFactory({});
    EXPECT_TRUE(failing.isEmpty());
    EXPECT_TRUE(missing.isEmpty());
}
