#include <gtest/gtest.h>

#include <QThread>

#include <optional>

#include "DeviceTestSupport.h"
#include "FakeAddressProbe.h"
#include "FakeProcessRunner.h"
#include "NetLab.h"
#include "QtWait.h"
#include "device/AddressProbe.h"
#include "device/ChangeCheck.h"
#include "state/Device.h"
#include "state/WebGUIEvent.h"

using sdk::system::network_method_type;
using testsupport::NetLab;
using testsupport::pumpUntil;
using Answer = IAddressProbe::Answer;

namespace {

QSharedPointer<Device> makeDevice(const QString& id, const QString& ip, bool missing = false) {
    auto d = QSharedPointer<Device>::create(id);
    d->ip.set(ip);
    d->subnetMask.set("255.255.255.0");
    d->defaultGateway.set("192.168.0.1");
    d->networkMethod.set(network_method_type::PERSISTENT_IP);
    d->ipOfAssociatedNic.set("192.168.0.10");
    d->isMissing.set(missing);
    return d;
}

NIC card(const QString& name, const QString& ip) {
    NIC nic;
    nic.name.set(name);
    nic.addresses.set({NIC::Address(ip, "255.255.255.0")});
    return nic;
}

// The device abc_x1 at 192.168.0.77/24, seen on eth0 (192.168.0.10), beside
// def_y2 at .50 and the missing favourite ghi_z3 at .60; a second card eth1
// is 10.10.2.1/24.
struct Lan {
    QVector<QSharedPointer<Device>> devices{makeDevice("abc_x1", "192.168.0.77"),
                                            makeDevice("def_y2", "192.168.0.50"),
                                            makeDevice("ghi_z3", "192.168.0.60", true)};
    QVector<NIC> cards{card("eth0", "192.168.0.10"), card("eth1", "10.10.2.1")};
};

SetConfigurationRequest unchanged() {
    SetConfigurationRequest q;
    q.deviceId = "abc_x1";
    q.name = "Line 3";
    q.ip = "192.168.0.77";
    q.subnetMask = "255.255.255.0";
    q.defaultGateway = "192.168.0.1";
    q.networkMethod = network_method_type::PERSISTENT_IP;
    return q;
}

SetConfigurationRequest moved(const QString& ip, const QString& mask = "255.255.255.0",
                              const QString& gateway = "192.168.0.1") {
    SetConfigurationRequest q = unchanged();
    q.ip = ip;
    q.subnetMask = mask;
    q.defaultGateway = gateway;
    return q;
}

struct CheckRow {
    const char* what;
    SetConfigurationRequest request;
    QString refusal;
    QString probeCard;
};
std::ostream& operator<<(std::ostream& out, const CheckRow& row) {
    return out << row.what;
}

SetConfigurationRequest withId(const QString& id) {
    SetConfigurationRequest q = unchanged();
    q.deviceId = id;
    return q;
}

SetConfigurationRequest withMethod(network_method_type method, const QString& ip) {
    SetConfigurationRequest q = moved(ip);
    q.networkMethod = method;
    return q;
}

const QString notAvailable = "Device is not available";
const QString invalid = "Invalid address";
const QString inUse = "Address in use";

}  // namespace

class ChangeCheckTable : public ::testing::TestWithParam<CheckRow> {};

TEST_P(ChangeCheckTable, GivesTheReasonOrTheCardToProbe) {
    const Lan lan;
    const auto verdict = ChangeCheck::inspect(GetParam().request, lan.devices, lan.cards);
    EXPECT_EQ(verdict.refusal, GetParam().refusal);
    EXPECT_EQ(verdict.probeCard, GetParam().probeCard);
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, ChangeCheckTable,
    ::testing::Values(
        CheckRow{"UnknownDevice", withId("zzz_q9"), notAvailable, ""},
        CheckRow{"MissingFavourite", withId("ghi_z3"), notAvailable, ""},
        CheckRow{"RenameOnly", unchanged(), "", ""},
        CheckRow{"DhcpSkipsTheAddressChecks", withMethod(network_method_type::DHCP, "192.168.0.50"),
                 "", ""},
        CheckRow{"UnknownMethodSkipsTheAddressChecks",
                 withMethod(network_method_type::UNKNOWN, "not an address"), "", ""},
        CheckRow{"KeptAddressWithANewGatewayIsNotProbed",
                 moved("192.168.0.77", "255.255.255.0", "192.168.0.2"), "", ""},
        CheckRow{"KeptAddressWithABrokenMask", moved("192.168.0.77", "255.0.255.0"), invalid, ""},
        CheckRow{"AddressOfAnotherDevice", moved("192.168.0.50"), "Address in use by def_y2", ""},
        CheckRow{"AddressOfAMissingFavourite", moved("192.168.0.60"), "Address in use by ghi_z3",
                 ""},
        CheckRow{"AddressOfTheDevicesCard", moved("192.168.0.10"), inUse, ""},
        CheckRow{"AddressOfAnotherCard", moved("10.10.2.1", "255.255.255.0", "0.0.0.0"), inUse, ""},
        CheckRow{"FreeAddressIsProbedThroughTheDevicesCard", moved("192.168.0.254"), "", "eth0"},
        CheckRow{"FirstHostWithoutGateway", moved("192.168.0.1", "255.255.255.0", "0.0.0.0"), "",
                 "eth0"},
        CheckRow{"AnotherCardsSubnetIsProbedThroughTheDevicesOwnCard",
                 moved("10.10.2.50", "255.255.255.0", "0.0.0.0"), "", "eth0"},
        CheckRow{"NetworkAddress", moved("192.168.0.0"), invalid, ""},
        CheckRow{"BroadcastAddress", moved("192.168.0.255"), invalid, ""},
        CheckRow{"GatewayIsTheAddress", moved("192.168.0.1"), invalid, ""},
        CheckRow{"GatewayOnAnotherSubnet", moved("192.168.0.78", "255.255.255.0", "192.168.1.1"),
                 invalid, ""},
        CheckRow{"GatewayIsTheNetwork", moved("192.168.0.78", "255.255.255.0", "192.168.0.0"),
                 invalid, ""},
        CheckRow{"GatewayIsTheBroadcast", moved("192.168.0.78", "255.255.255.0", "192.168.0.255"),
                 invalid, ""},
        CheckRow{"MaskNotContiguous", moved("192.168.0.78", "255.0.255.0"), invalid, ""},
        CheckRow{"MaskZero", moved("192.168.0.78", "0.0.0.0", "0.0.0.0"), invalid, ""},
        CheckRow{"ZeroPaddedAddress", moved("192.168.000.78"), invalid, ""},
        CheckRow{"EmptyGateway", moved("192.168.0.78", "255.255.255.0", ""), invalid, ""},
        CheckRow{"Loopback", moved("127.0.0.5", "255.0.0.0", "0.0.0.0"), invalid, ""},
        CheckRow{"Multicast", moved("224.0.0.5", "255.255.255.0", "0.0.0.0"), invalid, ""},
        CheckRow{"ThisNetwork", moved("0.1.2.3", "255.0.0.0", "0.0.0.0"), invalid, ""},
        CheckRow{"Slash31HasNoNetworkAddress", moved("192.168.0.78", "255.255.255.254", "0.0.0.0"),
                 "", "eth0"},
        CheckRow{"Slash32", moved("192.168.0.78", "255.255.255.255", "0.0.0.0"), "", "eth0"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(ChangeCheck, ARenameOfADeviceThatSharesItsAddressIsNotRefused) {
    Lan lan;
    lan.devices[1]->ip.set("192.168.0.77");
    SetConfigurationRequest q = unchanged();
    q.name = "Renamed";
    EXPECT_EQ(ChangeCheck::inspect(q, lan.devices, lan.cards).refusal, "");
    // Switching it to a fixed address it already has is no clash either.
    lan.devices[0]->networkMethod.set(network_method_type::DHCP);
    EXPECT_EQ(ChangeCheck::inspect(q, lan.devices, lan.cards).refusal, "");
}

TEST(ChangeCheck, TheProbesVerdictDecides) {
    const Lan lan;
    auto probe = std::make_shared<fakes::FakeAddressProbe>();
    probe->setAnswer("192.168.0.200", Answer::InUse);
    probe->setAnswer("192.168.0.201", Answer::Unknown);
    const ChangeCheck check(probe);
    const auto verdictOf = [&](const SetConfigurationRequest& q) {
        std::optional<QString> refusal;
        check.run(q, lan.devices, lan.cards, [&](const QString& r) { refusal = r; });
        return refusal;
    };
    EXPECT_EQ(verdictOf(moved("192.168.0.200")), std::optional<QString>(inUse));
    EXPECT_EQ(verdictOf(moved("192.168.0.201")), std::optional<QString>(""))
        << "a probe that cannot tell lets the change go";
    EXPECT_EQ(verdictOf(moved("192.168.0.202")), std::optional<QString>(""));
    ASSERT_EQ(probe->calls.size(), 3);
    EXPECT_EQ(probe->calls[0].card, "eth0");
    EXPECT_EQ(probe->calls[0].address, "192.168.0.200");

    EXPECT_EQ(verdictOf(moved("192.168.0.50")), std::optional<QString>("Address in use by def_y2"));
    EXPECT_EQ(verdictOf(unchanged()), std::optional<QString>(""));
    EXPECT_EQ(probe->calls.size(), 3) << "refused and unchanged addresses are not probed";
}

// --- The arping probe ------------------------------------------------------------------

namespace {

std::optional<Answer> probeOnce(ArpProbe& probe, const QString& card, const QString& address) {
    std::optional<Answer> answer;
    QThread* answeredOn = nullptr;
    probe.probe(card, address, [&](Answer a) {
        answer = a;
        answeredOn = QThread::currentThread();
    });
    pumpUntil([&] { return answer.has_value(); }, 10000);
    EXPECT_EQ(answeredOn, answer ? QThread::currentThread() : nullptr)
        << "the verdict is handed over on the caller's thread";
    return answer;
}

}  // namespace

TEST(ArpProbe, ExitCodesOfDuplicateAddressDetection) {
    auto runner = std::make_shared<fakes::FakeProcessRunner>();
    runner->setExitCode("10.0.0.1", 0);
    runner->setExitCode("10.0.0.2", 1);
    runner->setExitCode("10.0.0.3", 2);
    ArpProbe probe(runner);
    EXPECT_EQ(probeOnce(probe, "lan1", "10.0.0.1"), Answer::Free);
    EXPECT_EQ(probeOnce(probe, "lan1", "10.0.0.2"), Answer::InUse);
    EXPECT_EQ(probeOnce(probe, "lan1", "10.0.0.3"), Answer::Unknown);
    ASSERT_EQ(runner->calls().size(), 3u);
    EXPECT_EQ(runner->calls()[0],
              (QStringList{"arping", "-D", "-q", "-c", "2", "-w", "1", "-I", "lan1", "10.0.0.1"}));
    runner->setFailure(true);
    EXPECT_EQ(probeOnce(probe, "lan1", "10.0.0.1"), Answer::Unknown);
}

TEST(ArpProbe, OnlyAPlainCardAndADottedAddressReachTheCommandLine) {
    auto runner = std::make_shared<fakes::FakeProcessRunner>();
    ArpProbe probe(runner);
    EXPECT_EQ(probeOnce(probe, "-b", "10.0.0.1"), Answer::Unknown);
    EXPECT_EQ(probeOnce(probe, "", "10.0.0.1"), Answer::Unknown);
    EXPECT_EQ(probeOnce(probe, "lan1", "-h"), Answer::Unknown);
    EXPECT_EQ(probeOnce(probe, "lan1", "10.0.0.01"), Answer::Unknown);
    EXPECT_TRUE(runner->calls().empty());
}

// The real arping, only ever inside namespaces of the test's own.
TEST(ArpProbe, ARealArpingFindsTheHostThatHoldsAnAddress) {
    std::string why;
    if (!NetLab::available(&why)) {
        GTEST_SKIP() << why;
    }
    NetLab lab;
    const auto host = lab.addNamespace("host");
    const auto peer = lab.addNamespace("peer");
    lab.link(host, "eth1", "10.1.0.1/24", peer, "p1", "10.1.0.2/24");
    // A second address on the peer, outside the card's subnet: ARP answers
    // it all the same.
    lab.ip(peer, "addr add 10.2.0.7/24 dev p1");

    ArpProbe probe(std::make_shared<ProcessRunner>());
    const auto probeIn = [&](const QString& address) {
        std::optional<Answer> answer;
        // The probe's thread, and arping with it, is born in the namespace.
        lab.inNamespace(host, [&] { probe.probe("eth1", address, [&](Answer a) { answer = a; }); });
        pumpUntil([&] { return answer.has_value(); }, 10000);
        return answer;
    };
    EXPECT_EQ(probeIn("10.1.0.2"), Answer::InUse);
    EXPECT_EQ(probeIn("10.2.0.7"), Answer::InUse);
    EXPECT_EQ(probeIn("10.1.0.99"), Answer::Free);
}
