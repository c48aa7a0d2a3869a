// A network card that goes away while the program runs and comes back:
// link down, address removed, the card itself replaced.

#include "FaultLab.h"

using fault::deviceMs;
using nlohmann::json;
using testsupport::NetLab;

namespace {

class CardFaults : public fault::LanfinderFault {
protected:
    bool cardShown(const e2e::BrowserView& b, const std::string& ip) const {
        for (const auto& nic : b.app.value("nics", json::array())) {
            for (const auto& a : nic.value("addresses", json::array())) {
                if (a.value("ip", "") == ip) {
                    return true;
                }
            }
        }
        return false;
    }

    // The card and its devices go; once it is back, so are they.
    void expectGoneThenBack(e2e::BrowserView& b, const std::function<void()>& takeAway,
                            const std::function<void()>& giveBack, const json& nicsWhileGone) {
        ASSERT_TRUE(cardShown(b, "10.89.1.1")) << b.app["nics"].dump();
        takeAway();
        EXPECT_TRUE(b.waitUntil(
            [&] {
                return !cardShown(b, "10.89.1.1") && b.devices.empty() &&
                       b.countNotifications("DeviceNoLongerAvailable") == 3;
            },
            15000))
            << "nics " << b.app["nics"].dump() << ", devices " << b.devices.size();
        // The browser learns it from the card list (with no address left it
        // shows its "no network card" banner); the protocol has nothing to
        // bind and so nothing to fail on.
        EXPECT_EQ(b.app["nics"], nicsWhileGone);
        EXPECT_EQ(b.app["protocolState"]["available"], true);
        giveBack();
        EXPECT_TRUE(b.waitUntil(
            [&] {
                return cardShown(b, "10.89.1.1") && allComplete(b, 3) &&
                       b.app["protocolState"]["available"] == true;
            },
            deviceMs))
            << "nics " << b.app["nics"].dump() << ", devices " << b.devices.size() << ", protocol "
            << b.app["protocolState"].dump() << "\n"
            << diagnostics();
        EXPECT_EQ(NetLab::waitExit(app_, 0), -1) << diagnostics();
    }
};

}  // namespace

TEST_F(CardFaults, LinkDownTakesTheCardAndItsDevicesAndLinkUpBringsThemBack) {
    startSim();
    auto& b = connectWithDevices(startApp(), 3);
    expectGoneThenBack(
        b, [&] { lab_.ip(pc_, "link set lan1 down"); }, [&] { lab_.ip(pc_, "link set lan1 up"); },
        json::array());
}

TEST_F(CardFaults, AddressRemovedAndAddedAgainIsUsedAgain) {
    startSim();
    auto& b = connectWithDevices(startApp(), 3);
    json card = b.app["nics"];
    ASSERT_EQ(card.size(), 1u);
    card[0]["addresses"] = json::array();
    expectGoneThenBack(
        b, [&] { lab_.ip(pc_, "addr del 10.89.1.1/24 dev lan1"); },
        [&] { lab_.ip(pc_, "addr add 10.89.1.1/24 dev lan1"); }, card);
}

TEST_F(CardFaults, CardReplacedByOneWithTheSameAddressAndMacIsUsedAgain) {
    pid_t sim = startSim();
    auto& b = connectWithDevices(startApp(), 3);
    const std::string mac = [&] {
        for (const auto& nic : b.app["nics"]) {
            return nic.value("mac", "");
        }
        return std::string();
    }();
    ASSERT_FALSE(mac.empty());
    // The same card unplugged and plugged in again: a new interface with the
    // old name, address and MAC, faster than the card list is read.
    lab_.ip(pc_, "link del lan1");
    lab_.ip(pc_, "link add lan1 address " + mac + " type veth peer name eth0 netns " + dev_);
    lab_.ip(pc_, "addr add 10.89.1.1/24 dev lan1");
    lab_.ip(dev_, "addr add 10.89.1.2/24 dev eth0");
    lab_.ip(pc_, "link set lan1 up");
    lab_.ip(dev_, "link set eth0 up");
    // The simulator's card went with the pair: the old devices fall silent,
    // a new simulator brings them back through the new card.
    stopSim(sim);
    ASSERT_TRUE(b.waitUntil([&] { return b.devices.empty(); }, deviceMs));
    startSim();
    EXPECT_TRUE(b.waitUntil([&] { return allComplete(b, 3); }, deviceMs))
        << "devices " << b.devices.size() << "\n"
        << diagnostics();
}
