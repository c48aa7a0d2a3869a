#include <gtest/gtest.h>

#include "NetLab.h"
#include "device/EventProcessor.h"
#include "device/NICModel.h"
#include "state/AppNotification.h"
#include "state/DeviceStore.h"

using testsupport::NetLab;

// The real ping, only ever inside a namespace of the test's own.
TEST(ReachabilityProbe, ARealPingTellsAnsweringPeersFromSilentAddresses) {
    std::string why;
    if (!NetLab::available(&why)) {
        GTEST_SKIP() << why;
    }
    NetLab lab;
    const auto host = lab.addNamespace("host");
    const auto peer = lab.addNamespace("peer");
    lab.link(host, "eth1", "10.1.0.1/24", peer, "p1", "10.1.0.2/24");

    DeviceStore devices;
    AppNotificationStore notifications;
    NICModel nics;
    EventProcessor processor(nullptr, &devices, &notifications, &nics);
    bool peerReachable = false;
    bool silentReachable = true;
    lab.inNamespace(host, [&] {
        peerReachable = processor.isReachable("10.1.0.2");
        silentReachable = processor.isReachable("10.1.0.99");
    });
    EXPECT_TRUE(peerReachable);
    EXPECT_FALSE(silentReachable);
}
