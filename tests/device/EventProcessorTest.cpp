#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <cstdlib>
#include <string>

#include "DeviceTestSupport.h"
#include "FakeAddressProbe.h"
#include "FakeClock.h"
#include "FakeProcessRunner.h"
#include "FakeProtocolEngine.h"
#include "QtWait.h"
#include "device/DeviceDisconnectedDetector.h"
#include "device/EventProcessor.h"
#include "device/NICModel.h"
#include "device/ProtocolEvents.h"
#include "device/SecretText.h"
#include "state/AppNotification.h"
#include "state/DeviceStore.h"
#include "state/SeenBoard.h"
#include "state/WebGUIEvent.h"

using devicetest::CacheRecorder;
using sdk::system::network_method_type;
using testsupport::pumpUntil;

namespace {

const QString kId = "abc_x1";

// A processor over real stores, a fake engine, a fake ping and one local
// card 192.168.0.10/24; time stands still until a test moves it.
class EventProcessorTest : public ::testing::Test {
protected:
    EventProcessorTest() : processor(&engine, &devices, &notifications, &nics), detector(&devices) {
        runner = std::make_shared<fakes::FakeProcessRunner>();
        processor.setProcessRunner(runner);
        processor.setAddressProbe(addressProbe);
        processor.setCardSource([this] { return cards; });
        NIC card;
        card.name.set("eth0");
        card.addresses.set({NIC::Address("192.168.0.10", "255.255.255.0")});
        cards = {card};
    }

    ~EventProcessorTest() override {
        runner->release();
        pumpUntil([&] { return runner->running() == 0; });
    }

    static QSharedPointer<DiscoveryResponse> answer(const QString& ip = "192.168.0.77") {
        auto r = QSharedPointer<DiscoveryResponse>::create();
        r->articleNumber = "ABC";
        r->serialNumber = "X1";
        r->name = "Line 3";
        r->ip = ip;
        r->subnetMask = "255.255.255.0";
        r->defaultGateway = "192.168.0.1";
        r->mac = "AA:BB:CC:DD:EE:FF";
        r->networkMethod = network_method_type::PERSISTENT_IP;
        r->deviceState = DeviceAdministrationFbbApi::DeviceState::DeviceState_ACTIVE;
        r->infoMessages = QStringList{"ok"};
        r->type = "Camera";
        r->url = "http://x/";
        r->hwVersion = "1.0";
        r->fwVersion = "2.0";
        r->manufactureDate = "2024";
        r->manufacturer = "Maker";
        r->supportsDHCP = true;
        r->supportsPersistentIP = true;
        r->supportsLocalize = true;
        r->isAuthentication = true;
        r->ipOfAssociatedNic = "192.168.0.10";
        return r;
    }

    static QSharedPointer<ConfigurationResponse> configurationAnswer(int result) {
        auto r = QSharedPointer<ConfigurationResponse>::create();
        r->articleNumber = "ABC";
        r->serialNumber = "X1";
        r->result = result;
        return r;
    }

    static SetConfigurationRequest request(const QString& ip = "192.168.0.77",
                                           const QString& name = "Line 3") {
        SetConfigurationRequest q;
        q.deviceId = kId;
        q.name = name;
        q.ip = ip;
        q.subnetMask = "255.255.255.0";
        q.defaultGateway = "192.168.0.1";
        q.networkMethod = network_method_type::PERSISTENT_IP;
        q.username = "admin";
        q.password = "pw";
        return q;
    }

    void deliver(QSharedPointer<Event> event) { processor.handleEvent(event); }

    QSharedPointer<Device> device(const QString& id = kId) {
        return devices.find(id, true).toStrongRef();
    }

    QStringList messages() const {
        QStringList texts;
        for (const auto& n : notifications.items()) {
            texts << n->message.get();
        }
        return texts;
    }

    // Lets the device be silent for ms and runs one disconnect check.
    void silentFor(qint64 ms) {
        clock.advanceMs(ms);
        if (auto event = detector.check()) {
            deliver(event);
        }
    }

    // A known device on the local subnet, idle, with no notifications.
    void discovered() {
        deliver(answer());
        notifications.clear();
    }

    fakes::FakeClock clock;
    CacheRecorder recorder;
    fakes::FakeProtocolEngine engine;
    DeviceStore devices;
    AppNotificationStore notifications;
    NICModel nics;
    std::shared_ptr<fakes::FakeProcessRunner> runner;
    std::shared_ptr<fakes::FakeAddressProbe> addressProbe =
        std::make_shared<fakes::FakeAddressProbe>();
    QVector<NIC> cards;
    EventProcessor processor;
    DeviceDisconnectedDetector detector;
};

}  // namespace

// --- Discovery answers ------------------------------------------------------------------

TEST_F(EventProcessorTest, FirstAnswerCreatesTheDeviceAndCopiesEveryField) {
    deliver(answer());
    ASSERT_EQ(devices.items().size(), 1);
    const auto d = device();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->id.get(), kId);
    EXPECT_EQ(d->name.get(), "Line 3");
    EXPECT_EQ(d->type.get(), "Camera");
    EXPECT_EQ(d->url.get(), "http://x/");
    EXPECT_EQ(d->hwVersion.get(), "1.0");
    EXPECT_EQ(d->fwVersion.get(), "2.0");
    EXPECT_EQ(d->articleNumber.get(), "ABC");
    EXPECT_EQ(d->serialNumber.get(), "X1");
    EXPECT_EQ(d->manufactureDate.get(), "2024");
    EXPECT_EQ(d->manufacturer.get(), "Maker");
    EXPECT_EQ(d->deviceState.get(), DeviceAdministrationFbbApi::DeviceState::DeviceState_ACTIVE);
    EXPECT_EQ(d->statusStringDetails.get(), QStringList{"ok"});
    EXPECT_EQ(d->ipOfAssociatedNic.get(), "192.168.0.10");
    EXPECT_EQ(d->ip.get(), "192.168.0.77");
    EXPECT_EQ(d->mac.get(), "AA:BB:CC:DD:EE:FF");
    EXPECT_EQ(d->defaultGateway.get(), "192.168.0.1");
    EXPECT_EQ(d->subnetMask.get(), "255.255.255.0");
    EXPECT_EQ(d->networkMethod.get(), network_method_type::PERSISTENT_IP);
    EXPECT_TRUE(d->supportsDHCP.get());
    EXPECT_TRUE(d->supportsPersistentIP.get());
    EXPECT_TRUE(d->supportsLocalize.get());
    EXPECT_TRUE(d->isAuthentication.get());
    EXPECT_TRUE(d->isAccessible.get());
    EXPECT_EQ(d->lastSeen.get(), clock.currentDateTime());
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(EventProcessorTest, ARepeatedAnswerChangesOnlyLastSeen) {
    deliver(answer());
    const int diffsBefore = recorder.diffs.size();
    clock.advanceMs(1000);
    deliver(answer());
    EXPECT_EQ(recorder.diffs.size(), diffsBefore);
    EXPECT_EQ(device()->lastSeen.get(), clock.currentDateTime());
}

// The answer's repeat key lets an unchanged answer skip the copy of its
// values; only the same key from the same card may.
TEST_F(EventProcessorTest, ARepeatKeySkipsOnlyAnAnswerThatHoldsTheSameValues) {
    const auto keyed = [](quint64 key, const QString& name, const QString& card) {
        auto r = answer();
        r->repeatKey = key;
        r->name = name;
        r->ipOfAssociatedNic = card;
        r->deviceId = "abc_x1";
        return r;
    };
    deliver(keyed(5, "Line 3", "192.168.0.10"));
    clock.advanceMs(1000);
    deliver(keyed(5, "Line 3", "192.168.0.10"));
    EXPECT_EQ(device()->lastSeen.get(), clock.currentDateTime());
    struct Row {
        const char* what;
        quint64 key;
        QString name;
        QString card;
    };
    const Row rows[] = {
        {"another key", 6, "Line 4", "192.168.0.10"},
        {"the same key from another card", 6, "Line 4", "192.168.0.11"},
        {"an answer the library did not compare", 0, "Line 5", "192.168.0.11"},
        {"a key seen before, after others", 5, "Line 3", "192.168.0.10"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        deliver(keyed(row.key, row.name, row.card));
        EXPECT_EQ(device()->name.get(), row.name);
        EXPECT_EQ(device()->ipOfAssociatedNic.get(), row.card);
    }
}

// Once an answer left a device with nothing to do but lastSeen, its repeats
// from the same card are taken as seen before they reach the main thread;
// such an answer keeps the device alive and dates lastSeen like any other.
class SettledDevices : public EventProcessorTest {
protected:
    SettledDevices() { processor.setSeenBoard(board); }

    static QSharedPointer<DiscoveryResponse> keyed(quint64 key,
                                                   const QString& ip = "192.168.0.77") {
        auto r = answer(ip);
        r->repeatKey = key;
        return r;
    }
    bool repeatTaken(quint64 key = 5, const std::string& card = "192.168.0.10") {
        return board->take(key, card, clock.monotonicMs());
    }

    std::shared_ptr<SeenBoard> board = std::make_shared<SeenBoard>();
};

TEST_F(SettledDevices, ARepeatTakenAsSeenKeepsTheDeviceAndDatesLastSeen) {
    deliver(keyed(5));
    const QDateTime firstSeen = clock.currentDateTime();
    const int diffsBefore = recorder.diffs.size();
    clock.advanceMs(2000);
    const QDateTime takenAt = clock.currentDateTime();
    EXPECT_TRUE(repeatTaken());
    EXPECT_EQ(device()->lastSeen.get(), firstSeen);  // not converted per answer
    silentFor(2999);
    ASSERT_TRUE(device());
    QByteArray fullState;
    device()->appendIndentedJson(fullState, 3);
    EXPECT_TRUE(fullState.contains(takenAt.toString(Qt::ISODate).toUtf8()))
        << fullState.toStdString();
    EXPECT_EQ(device()->toJson()[QStringLiteral("lastSeen")].toString(),
              takenAt.toString(Qt::ISODate));
    EXPECT_EQ(recorder.diffs.size(), diffsBefore);
    silentFor(1);
    EXPECT_FALSE(device());
}

TEST_F(SettledDevices, OnlyTheSameKeyFromTheSameCardIsTaken) {
    deliver(keyed(5));
    EXPECT_FALSE(repeatTaken(6));
    EXPECT_FALSE(repeatTaken(5, "192.168.0.11"));
    EXPECT_FALSE(repeatTaken(0));
    deliver(keyed(0));  // one the library did not compare settles nothing new
    EXPECT_TRUE(repeatTaken(5));
    deliver(keyed(6));
    EXPECT_FALSE(repeatTaken(5));
    EXPECT_TRUE(repeatTaken(6));

    // Keys settled on different cards each keep their own card; new cards
    // leave no key taking from a card that now has another's number.
    board->settle(7, QStringLiteral("192.168.0.11"));
    EXPECT_TRUE(repeatTaken(7, "192.168.0.11"));
    EXPECT_FALSE(repeatTaken(7));
    EXPECT_TRUE(repeatTaken(6));
    board->stopTaking();
    board->settle(7, QStringLiteral("192.168.0.11"));
    EXPECT_FALSE(repeatTaken(6));
    EXPECT_FALSE(repeatTaken(6, "192.168.0.11"));
    EXPECT_TRUE(repeatTaken(7, "192.168.0.11"));

    // An entry names up to 255 cards; a key of one more goes the whole way.
    board->stopTaking();
    for (quint64 card = 1; card <= 256; ++card) {
        const std::string ip =
            "10.0." + std::to_string(card / 100) + "." + std::to_string(card % 100);
        board->settle(100 + card, QString::fromStdString(ip));
        EXPECT_EQ(repeatTaken(100 + card, ip), card <= 255) << ip;
    }
}

// Whatever changes about a device, its next answer must come through again
// and do its work; it settles the device anew.
TEST_F(SettledDevices, AnythingThatChangesTheDeviceUnsettlesIt) {
    struct Row {
        const char* what;
        std::function<void()> change;
        bool settlesAgain;
    };
    const Row rows[] = {
        {"a pending change", [this] { device()->shouldProcess.set(true); }, false},
        {"a favourite mark", [this] { device()->isFavorite.set(true); }, true},
        {"a probe's result", [this] { device()->isAccessible.set(false); }, true},
        {"removal from the store", [this] { devices.remove(device()); }, true},
        {"new cards", [this] { board->stopTaking(); }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        for (const auto& known : QVector<QSharedPointer<Device>>(devices.items())) {
            devices.remove(known);
        }
        deliver(keyed(5));
        ASSERT_TRUE(repeatTaken());
        row.change();
        EXPECT_FALSE(repeatTaken());
        deliver(keyed(5));
        EXPECT_TRUE(device());
        EXPECT_TRUE(device()->isAccessible.get());
        EXPECT_EQ(repeatTaken(), row.settlesAgain);
    }
}

// A device whose answer changes releases the old key before it settles
// under the new one, so the board holds one entry per settled device.
TEST_F(SettledDevices, ADeviceThatChangesItsAnswerLeavesNoKeyBehind) {
    for (quint64 key = 1; key <= 200; ++key) {
        auto changed = keyed(key);
        changed->name = QStringLiteral("Line %1").arg(key);
        deliver(changed);
    }
    EXPECT_TRUE(repeatTaken(200));
    EXPECT_FALSE(repeatTaken(199));
    EXPECT_EQ(board->size(), 1u);
    devices.remove(device());
    EXPECT_EQ(board->size(), 0u);
}

// Answers taken before the cards changed, or before a change released the
// key, still count as seen: the device is not silent for their time.
TEST_F(SettledDevices, AnswersTakenBeforeAReleaseStillCount) {
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"new cards", [this] { board->stopTaking(); }},
        {"a favourite mark", [this] { device()->isFavorite.set(true); }},
    };
    for (const auto& [what, release] : rows) {
        SCOPED_TRACE(what);
        for (const auto& known : QVector<QSharedPointer<Device>>(devices.items())) {
            devices.remove(known);
        }
        deliver(keyed(5));
        clock.advanceMs(2500);
        ASSERT_TRUE(repeatTaken());
        release();
        EXPECT_FALSE(repeatTaken());
        silentFor(2999);
        ASSERT_TRUE(device());
        EXPECT_FALSE(device()->isMissing.get());
    }
}

TEST_F(SettledDevices, ADeviceOffEveryLocalSubnetIsNeverSettled) {
    deliver(keyed(5, "10.1.2.3"));
    EXPECT_TRUE(processor.isProbing(kId));
    EXPECT_FALSE(repeatTaken());
}

// The silence check unsettles a device before it reports it: the answer
// that would bring it back cannot be taken as seen only.
TEST_F(SettledDevices, ASilentFavouriteIsUnsettledBeforeItIsMarkedMissing) {
    deliver(keyed(5));
    device()->isFavorite.set(true);
    deliver(keyed(5));
    ASSERT_TRUE(repeatTaken());
    silentFor(3000);
    ASSERT_TRUE(device()->isMissing.get());
    EXPECT_FALSE(repeatTaken());
    deliver(keyed(5));
    EXPECT_FALSE(device()->isMissing.get());
}

TEST_F(EventProcessorTest, IdsAreLowerCasedArticleAndSerial) {
    auto r = answer();
    r->articleNumber = "AbC";
    r->serialNumber = "X1Y";
    deliver(r);
    EXPECT_TRUE(device("abc_x1y"));
}

TEST_F(EventProcessorTest, ADeviceOnALocalSubnetIsAccessibleWithoutPing) {
    deliver(answer());
    EXPECT_TRUE(device()->isAccessible.get());
    EXPECT_TRUE(runner->calls().empty());
    EXPECT_FALSE(processor.isProbing(kId));
}

// This computer routes an address in another card's subnet out of that
// card, away from the segment the device is on.
TEST_F(EventProcessorTest, ADeviceInAnotherCardsSubnetIsProbedNotAssumedReachable) {
    NIC lan2;
    lan2.name.set("eth1");
    lan2.addresses.set({NIC::Address("10.10.2.1", "255.255.255.0")});
    cards.append(lan2);

    deliver(answer("10.10.2.50"));
    EXPECT_FALSE(device()->isAccessible.get());
    ASSERT_TRUE(pumpUntil([&] { return !processor.isProbing(kId); }));
    ASSERT_EQ(runner->calls().size(), 1u);
    EXPECT_EQ(runner->calls()[0].last(), "10.10.2.50");
    EXPECT_FALSE(device()->isAccessible.get()) << "nobody answered the ping";

    // The same address seen on the card of that subnet is reached directly.
    auto there = answer("10.10.2.50");
    there->ipOfAssociatedNic = "10.10.2.1";
    deliver(there);
    EXPECT_TRUE(device()->isAccessible.get());
    EXPECT_EQ(runner->calls().size(), 1u);
}

TEST_F(EventProcessorTest, EverySubnetOfTheDevicesOwnCardCounts) {
    cards[0].addresses.set(
        {NIC::Address("192.168.0.10", "255.255.255.0"), NIC::Address("172.16.5.1", "255.255.0.0")});
    deliver(answer("172.16.9.9"));
    EXPECT_TRUE(device()->isAccessible.get());
    EXPECT_TRUE(runner->calls().empty());
}

TEST_F(EventProcessorTest, ADeviceSeenOnACardThatIsNotListedIsProbed) {
    auto stray = answer();
    stray->ipOfAssociatedNic = "192.168.0.11";
    deliver(stray);
    EXPECT_FALSE(device()->isAccessible.get());
    EXPECT_TRUE(processor.isProbing(kId) || !runner->calls().empty());
}

TEST_F(EventProcessorTest, ABurstOfAnswersReadsTheCardsOnce) {
    int reads = 0;
    processor.setCardSource([&] {
        ++reads;
        return cards;
    });
    for (int i = 0; i < 100; ++i) {
        deliver(answer());
        clock.advanceMs(5);
    }
    EXPECT_EQ(reads, 1);
    clock.advanceMs(EventProcessor::cardListMaxAgeMs);
    deliver(answer());
    EXPECT_EQ(reads, 2);
}

TEST_F(EventProcessorTest, ANewCardReachesTheSubnetTestWithinTheCardListAge) {
    auto seenOnNewCard = answer("10.9.9.9");
    seenOnNewCard->ipOfAssociatedNic = "10.9.9.1";
    deliver(seenOnNewCard);
    ASSERT_TRUE(pumpUntil([&] { return !processor.isProbing(kId); }));
    ASSERT_FALSE(device()->isAccessible.get());
    NIC second;
    second.name.set("eth1");
    second.addresses.set({NIC::Address("10.9.9.1", "255.255.255.0")});
    cards.append(second);
    clock.advanceMs(EventProcessor::cardListMaxAgeMs);
    deliver(seenOnNewCard);
    EXPECT_TRUE(device()->isAccessible.get());
}

TEST_F(EventProcessorTest, AnAnswerClearsTheMissingMarkOfAFavourite) {
    deliver(answer());
    device()->isFavorite.set(true);
    silentFor(3000);
    ASSERT_TRUE(device()->isMissing.get());
    deliver(answer());
    EXPECT_FALSE(device()->isMissing.get());
    EXPECT_EQ(device()->statusStringDetails.get(), QStringList{"ok"});
}

// --- Reachability probes -------------------------------------------------------------------

TEST_F(EventProcessorTest, ADeviceOutsideEverySubnetIsPingedAndTheResultAppliedOnTheMainThread) {
    runner->setExitCode("10.9.9.9", 0);
    QThread* appliedOn = nullptr;
    deliver(answer("10.9.9.9"));
    device()->isAccessible.addListener(
        [&](const PropertyValue<bool>&) { appliedOn = QThread::currentThread(); });
    EXPECT_FALSE(device()->isAccessible.get());
    ASSERT_TRUE(pumpUntil([&] { return device()->isAccessible.get(); }));
    EXPECT_EQ(appliedOn, qApp->thread());
    ASSERT_EQ(runner->calls().size(), 1u);
    EXPECT_EQ(runner->calls()[0], (QStringList{"ping", "-c", "1", "-W", "1", "10.9.9.9"}));
}

TEST_F(EventProcessorTest, AnUnreachableDeviceStaysInaccessible) {
    deliver(answer("10.9.9.9"));
    ASSERT_TRUE(pumpUntil([&] { return !processor.isProbing(kId); }));
    EXPECT_FALSE(device()->isAccessible.get());
}

TEST_F(EventProcessorTest, AtMostOneProbeRunsPerDevice) {
    runner->hold();
    deliver(answer("10.9.9.9"));
    ASSERT_TRUE(pumpUntil([&] { return runner->running() == 1; }));
    deliver(answer("10.9.9.9"));
    deliver(answer("10.9.9.9"));
    EXPECT_EQ(runner->calls().size(), 1u);
    runner->release();
    ASSERT_TRUE(pumpUntil([&] { return !processor.isProbing(kId); }));
    deliver(answer("10.9.9.9"));
    EXPECT_TRUE(pumpUntil([&] { return runner->calls().size() == 2; }));
}

TEST_F(EventProcessorTest, AReachableDeviceDoesNotFlickerWhileItIsProbedAgain) {
    runner->setExitCode("10.9.9.9", 0);
    deliver(answer("10.9.9.9"));
    ASSERT_TRUE(
        pumpUntil([&] { return device()->isAccessible.get() && !processor.isProbing(kId); }));
    runner->hold();
    deliver(answer("10.9.9.9"));
    EXPECT_TRUE(processor.isProbing(kId));
    EXPECT_TRUE(device()->isAccessible.get());
    EXPECT_EQ(recorder.deviceChanges(kId, "isAccessible"), QVector<QJsonValue>{true});
}

TEST_F(EventProcessorTest, APingThatCannotStartCountsAsUnreachable) {
    runner->setFailure(true);
    EXPECT_FALSE(processor.isReachable("10.9.9.9"));
}

TEST_F(EventProcessorTest, OnlyDottedAddressesReachThePingCommandLine) {
    EXPECT_FALSE(processor.isReachable("-f"));
    EXPECT_FALSE(processor.isReachable("10.0.0.1; reboot"));
    EXPECT_FALSE(processor.isReachable("192.168.000.020"));
    EXPECT_TRUE(runner->calls().empty());
}

// The library lets zero-padded parts through; the program reads them as no
// address at all rather than guess between decimal and octal.
TEST_F(EventProcessorTest, AZeroPaddedDeviceAddressIsOnNoSubnetAndIsNeverPinged) {
    deliver(answer("192.168.000.020"));
    ASSERT_TRUE(pumpUntil([&] { return !processor.isProbing(kId); }));
    EXPECT_FALSE(device()->isAccessible.get());
    EXPECT_TRUE(runner->calls().empty());
}

TEST_F(EventProcessorTest, AProbeResultForARemovedDeviceIsDropped) {
    runner->hold();
    deliver(answer("10.9.9.9"));
    ASSERT_TRUE(pumpUntil([&] { return runner->running() == 1; }));
    silentFor(3000);
    ASSERT_FALSE(device());
    runner->release();
    EXPECT_TRUE(pumpUntil([&] { return !processor.isProbing(kId); }));
    EXPECT_TRUE(devices.items().isEmpty());
}

// --- Configuration answers (table) ------------------------------------------------------------

namespace {
struct ConfigurationRow {
    int result;
    const char* message;
};
std::ostream& operator<<(std::ostream& out, const ConfigurationRow& row) {
    return out << row.result << " -> " << row.message;
}
std::string resultName(int result) {
    return result < 0 ? "Minus" + std::to_string(-result) : std::to_string(result);
}
}  // namespace

class ConfigurationResultTable : public EventProcessorTest,
                                 public ::testing::WithParamInterface<ConfigurationRow> {};

TEST_P(ConfigurationResultTable, EveryNonAcceptedResultEndsTheChangeWithItsMessage) {
    discovered();
    processor.handle(request("192.168.0.88"));
    deliver(configurationAnswer(0));
    device()->isRebooting.set(true);
    ASSERT_TRUE(device()->isProcessing.get());

    deliver(configurationAnswer(GetParam().result));
    EXPECT_EQ(messages(), QStringList{GetParam().message});
    EXPECT_FALSE(device()->isProcessing.get());
    EXPECT_FALSE(device()->isRebooting.get());
    // Left pending, the device would ignore its own answers from now on.
    EXPECT_FALSE(device()->shouldProcess.get());
}

INSTANTIATE_TEST_SUITE_P(
    Results, ConfigurationResultTable,
    ::testing::Values(
        ConfigurationRow{1, "Error while processing the command. Please retry"},
        ConfigurationRow{2, "Device is busy. Please retry"},
        ConfigurationRow{3, "Unexpected operation result occured"},
        ConfigurationRow{4, "Error while changing the network settings. Please retry"},
        ConfigurationRow{5, "Error while changing the device name. Please retry"},
        ConfigurationRow{6, "Not authorized"}, ConfigurationRow{7, "Invalid rights"},
        ConfigurationRow{8,
                         "Error changing network settings. Reserved IP. Please try again with "
                         "another one."},
        ConfigurationRow{-1, "Unexpected operation result occured"},
        ConfigurationRow{9, "Unexpected operation result occured"}),
    [](const auto& info) { return "Result" + resultName(info.param.result); });

TEST_F(EventProcessorTest, AcceptedWithAPendingChangeStartsProcessing) {
    discovered();
    processor.handle(request("192.168.0.88"));
    clock.advanceMs(500);
    deliver(configurationAnswer(0));
    EXPECT_TRUE(device()->isProcessing.get());
    EXPECT_EQ(device()->processingStartedTime.get(), clock.currentDateTime());
    EXPECT_TRUE(messages().isEmpty());
}

// A device that restarts faster than the silence that marks it restarting
// is never seen rebooting; its answer with the new settings ends the change.
TEST_F(EventProcessorTest, AnAnswerWithTheNewSettingsEndsAChangeWhoseRestartWentUnseen) {
    discovered();
    processor.handle(request("192.168.0.88"));
    deliver(configurationAnswer(0));
    ASSERT_TRUE(device()->isProcessing.get());

    // Still the old settings: the device has not applied them yet.
    deliver(answer("192.168.0.77"));
    EXPECT_TRUE(device()->isProcessing.get());
    auto otherGateway = answer("192.168.0.88");
    otherGateway->defaultGateway = "192.168.0.2";
    deliver(otherGateway);
    EXPECT_TRUE(device()->isProcessing.get());
    EXPECT_TRUE(messages().isEmpty());

    deliver(answer("192.168.0.88"));
    EXPECT_FALSE(device()->isProcessing.get());
    EXPECT_FALSE(device()->shouldProcess.get());
    EXPECT_EQ(device()->ip.get(), "192.168.0.88");
    EXPECT_EQ(messages(), QStringList{"Configuration changed successfully"});
}

TEST_F(EventProcessorTest, AcceptedWithoutAPendingChangeSucceedsAtOnce) {
    discovered();
    deliver(configurationAnswer(0));
    EXPECT_FALSE(device()->isProcessing.get());
    EXPECT_EQ(messages(), QStringList{"Configuration changed successfully"});
}

TEST_F(EventProcessorTest, AnAnswerForAnUnknownDeviceIsIgnored) {
    deliver(configurationAnswer(1));
    EXPECT_TRUE(messages().isEmpty());
}

// --- Localize answers (table) ----------------------------------------------------------------

namespace {
struct LocalizeRow {
    int result;
    const char* message;
};
std::ostream& operator<<(std::ostream& out, const LocalizeRow& row) {
    return out << row.result << " -> " << row.message;
}
}  // namespace

class LocalizeResultTable : public EventProcessorTest,
                            public ::testing::WithParamInterface<LocalizeRow> {};

TEST_P(LocalizeResultTable, EachResultPostsItsMessage) {
    auto r = QSharedPointer<LocalizeResponse>::create();
    r->result = GetParam().result;
    deliver(r);
    EXPECT_EQ(messages(), QStringList{GetParam().message});
}

INSTANTIATE_TEST_SUITE_P(Results, LocalizeResultTable,
                         ::testing::Values(LocalizeRow{0, "LocalizingSuccess"},
                                           LocalizeRow{1, "LocalizingError"},
                                           LocalizeRow{2, "Device is busy. Please retry"},
                                           LocalizeRow{3, "Localize is not supported"},
                                           LocalizeRow{4, "Unexpected operation result occured"},
                                           LocalizeRow{5, "Unexpected operation result occured"},
                                           LocalizeRow{6, "Not authorized"},
                                           LocalizeRow{7, "Invalid rights"},
                                           LocalizeRow{8, "Unexpected operation result occured"},
                                           LocalizeRow{-1, "Unexpected operation result occured"}),
                         [](const auto& info) { return "Result" + resultName(info.param.result); });

// --- Configuration requests ----------------------------------------------------------------------

namespace {
struct ChangeRow {
    const char* what;
    std::function<void(SetConfigurationRequest&)> edit;
    bool changesNetwork;
};
std::ostream& operator<<(std::ostream& out, const ChangeRow& row) {
    return out << row.what;
}
}  // namespace

class ConfigurationRequestTable : public EventProcessorTest,
                                  public ::testing::WithParamInterface<ChangeRow> {};

TEST_P(ConfigurationRequestTable, OnlyNetworkSettingsMakeTheChangePending) {
    discovered();
    SetConfigurationRequest q = request();
    GetParam().edit(q);
    processor.handle(q);
    EXPECT_EQ(device()->shouldProcess.get(), GetParam().changesNetwork) << GetParam().what;
    ASSERT_EQ(engine.configurationCalls.size(), 1);
    const auto& call = engine.configurationCalls[0];
    EXPECT_EQ(call.articleNumber, "ABC");
    EXPECT_EQ(call.serialNumber, "X1");
    EXPECT_EQ(call.ip, q.ip);
    EXPECT_EQ(call.netmask, q.subnetMask);
    EXPECT_EQ(call.gateway, q.defaultGateway);
    EXPECT_EQ(call.deviceName, q.name);
    EXPECT_EQ(call.networkMethod, q.networkMethod);
    EXPECT_EQ(call.username, "admin");
    EXPECT_EQ(call.password, "pw");
    EXPECT_EQ(call.cardIp, "192.168.0.10") << "only out of the card the device answered on";
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ConfigurationRequestTable,
    ::testing::Values(
        ChangeRow{"nothing", [](SetConfigurationRequest&) {}, false},
        ChangeRow{"name", [](SetConfigurationRequest& q) { q.name = "Other"; }, false},
        ChangeRow{"ip", [](SetConfigurationRequest& q) { q.ip = "192.168.0.78"; }, true},
        ChangeRow{"mask", [](SetConfigurationRequest& q) { q.subnetMask = "255.255.0.0"; }, true},
        ChangeRow{"gateway", [](SetConfigurationRequest& q) { q.defaultGateway = "192.168.0.2"; },
                  true},
        ChangeRow{"method",
                  [](SetConfigurationRequest& q) { q.networkMethod = network_method_type::DHCP; },
                  true}),
    [](const auto& info) { return std::string("Changed_") + info.param.what; });

// --- Requests the device does not answer (table) -------------------------------------------------

namespace {
// One request to the device and the answer it would give.
struct UnansweredRow {
    const char* what;
    std::function<void(EventProcessor&)> send;
    std::function<QSharedPointer<Event>()> answer;
    const char* answeredMessage;
};
std::ostream& operator<<(std::ostream& out, const UnansweredRow& row) {
    return out << row.what;
}
QSharedPointer<Event> configurationAccepted() {
    auto r = QSharedPointer<ConfigurationResponse>::create();
    r->articleNumber = "ABC";
    r->serialNumber = "X1";
    r->result = 0;
    return r;
}
SetConfigurationRequest renameTo(const QString& name, const QString& ip = "192.168.0.77") {
    SetConfigurationRequest q;
    q.deviceId = kId;
    q.name = name;
    q.ip = ip;
    q.subnetMask = "255.255.255.0";
    q.defaultGateway = "192.168.0.1";
    q.networkMethod = network_method_type::PERSISTENT_IP;
    return q;
}
}  // namespace

class UnansweredRequestTable : public EventProcessorTest,
                               public ::testing::WithParamInterface<UnansweredRow> {
protected:
    QStringList deviceIdsOfMessages() const {
        QStringList ids;
        for (const auto& n : notifications.items()) {
            ids << n->deviceId.get();
        }
        return ids;
    }
};

TEST_P(UnansweredRequestTable, NoAnswerWithinTheTimeLimitIsPostedOnceForTheDevice) {
    discovered();
    GetParam().send(processor);
    ASSERT_EQ(processor.pendingRequests().size(), 1);
    clock.advanceMs(EventProcessor::answerTimeoutMs - 1);
    processor.expireRequests();
    EXPECT_TRUE(messages().isEmpty());

    clock.advanceMs(1);
    processor.expireRequests();
    EXPECT_EQ(messages(), QStringList{"No answer from the device"});
    EXPECT_EQ(deviceIdsOfMessages(), QStringList{kId});
    EXPECT_FALSE(device()->shouldProcess.get()) << "the device is taken up again";
    EXPECT_TRUE(processor.pendingRequests().isEmpty());

    clock.advanceMs(EventProcessor::answerTimeoutMs);
    processor.expireRequests();
    EXPECT_EQ(messages().size(), 1) << "told once";
}

TEST_P(UnansweredRequestTable, AnAnswerJustBeforeTheTimeLimitIsTheOutcome) {
    discovered();
    GetParam().send(processor);
    clock.advanceMs(EventProcessor::answerTimeoutMs - 1);
    deliver(GetParam().answer());
    clock.advanceMs(EventProcessor::answerTimeoutMs);
    processor.expireRequests();
    const QStringList expected =
        GetParam().answeredMessage ? QStringList{GetParam().answeredMessage} : QStringList{};
    EXPECT_EQ(messages(), expected);
    EXPECT_TRUE(processor.pendingRequests().isEmpty());
    if (!expected.isEmpty()) {
        EXPECT_EQ(deviceIdsOfMessages(), QStringList{kId}) << "the outcome names its device";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, UnansweredRequestTable,
    ::testing::Values(
        UnansweredRow{"Rename", [](EventProcessor& p) { p.handle(renameTo("Line 4")); },
                      configurationAccepted, "Configuration changed successfully"},
        // Accepted new settings start the device's restart, whose own limit
        // of two minutes follows; no message yet.
        UnansweredRow{"AddressChange",
                      [](EventProcessor& p) { p.handle(renameTo("Line 3", "192.168.0.88")); },
                      configurationAccepted, nullptr},
        UnansweredRow{"Refused", [](EventProcessor& p) { p.handle(renameTo("Line 4")); },
                      [] {
                          auto r = QSharedPointer<ConfigurationResponse>::create();
                          r->articleNumber = "ABC";
                          r->serialNumber = "X1";
                          r->result = 6;
                          return QSharedPointer<Event>(r);
                      },
                      "Not authorized"},
        UnansweredRow{"Localize",
                      [](EventProcessor& p) {
                          LocalizeRequest q;
                          q.deviceId = kId;
                          p.handle(q);
                      },
                      [] {
                          auto r = QSharedPointer<LocalizeResponse>::create();
                          r->result = 0;
                          return QSharedPointer<Event>(r);
                      },
                      "LocalizingSuccess"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(EventProcessorTest, EachRequestHasItsOwnTimeLimit) {
    discovered();
    processor.handle(renameTo("Line 4"));
    clock.advanceMs(5000);
    LocalizeRequest q;
    q.deviceId = kId;
    processor.handle(q);
    clock.advanceMs(EventProcessor::answerTimeoutMs - 5000);
    processor.expireRequests();
    EXPECT_EQ(messages(), QStringList{"No answer from the device"});
    EXPECT_EQ(processor.pendingRequests().size(), 1);
    clock.advanceMs(5000);
    processor.expireRequests();
    EXPECT_EQ(messages().size(), 2);
}

TEST_F(EventProcessorTest, TheTimerTellsOfAnUnansweredRequestWithoutAnyOtherEvent) {
    discovered();
    processor.handle(renameTo("Line 4"));
    // The timer runs on real time; the fake clock is moved past the limit so
    // that the first time it fires it finds the request due.
    clock.advanceMs(EventProcessor::answerTimeoutMs);
    pumpUntil([&] { return !messages().isEmpty(); });
    EXPECT_EQ(messages(), QStringList{"No answer from the device"});
}

TEST_F(EventProcessorTest, AcceptedRenameCarriesTheNewNameWithItsMessage) {
    discovered();
    processor.handle(renameTo("Line 4"));
    deliver(configurationAccepted());
    EXPECT_EQ(device()->name.get(), "Line 4");
    EXPECT_EQ(messages(), QStringList{"Configuration changed successfully"});
}

TEST_F(EventProcessorTest, ARequestForAnUnknownDeviceSendsNothing) {
    processor.handle(request());
    EXPECT_TRUE(engine.configurationCalls.isEmpty());
}

class RefusedChange;
namespace {
struct RefusalRow {
    const char* what;
    std::function<void(RefusedChange&, SetConfigurationRequest&)> setUp;
    QString message;
};
std::ostream& operator<<(std::ostream& out, const RefusalRow& row) {
    return out << row.what;
}
}  // namespace

class RefusedChange : public EventProcessorTest, public ::testing::WithParamInterface<RefusalRow> {
public:
    using EventProcessorTest::addressProbe;
    using EventProcessorTest::answer;
    using EventProcessorTest::deliver;
    using EventProcessorTest::device;
};

TEST_P(RefusedChange, SendsNothingAndSaysWhy) {
    discovered();
    SetConfigurationRequest q = request("192.168.0.88");
    GetParam().setUp(*this, q);
    notifications.clear();
    processor.handle(q);
    EXPECT_TRUE(engine.configurationCalls.isEmpty());
    EXPECT_EQ(messages(), QStringList{GetParam().message});
    if (const auto d = device()) {
        EXPECT_FALSE(d->shouldProcess.get()) << "nothing went out, so nothing is pending";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, RefusedChange,
    ::testing::Values(
        RefusalRow{"UnknownDevice",
                   [](RefusedChange&, SetConfigurationRequest& q) { q.deviceId = "zzz_q9"; },
                   "Device is not available"},
        RefusalRow{
            "MissingFavourite",
            [](RefusedChange& t, SetConfigurationRequest&) { t.device()->isMissing.set(true); },
            "Device is not available"},
        RefusalRow{"AddressOfAnotherDevice",
                   [](RefusedChange& t, SetConfigurationRequest&) {
                       auto other = RefusedChange::answer("192.168.0.88");
                       other->serialNumber = "Y2";
                       t.deliver(other);
                   },
                   "Address in use by abc_y2"},
        RefusalRow{"BroadcastAddress",
                   [](RefusedChange&, SetConfigurationRequest& q) { q.ip = "192.168.0.255"; },
                   "Invalid address"},
        RefusalRow{"AHostAnswersBehindTheCard",
                   [](RefusedChange& t, SetConfigurationRequest&) {
                       t.addressProbe->setAnswer("192.168.0.88", IAddressProbe::Answer::InUse);
                   },
                   "Address in use"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(EventProcessorTest, AChangeGoesOutOnlyOnceTheProbeFoundTheAddressFree) {
    discovered();
    addressProbe->hold();
    SetConfigurationRequest change = request("192.168.0.88");
    processor.handle(change);
    // The caller's last use of its password: the change still goes out with it.
    wipeText(change.password);
    EXPECT_TRUE(engine.configurationCalls.isEmpty());
    ASSERT_EQ(addressProbe->calls.size(), 1);
    EXPECT_EQ(addressProbe->calls[0].card, "eth0");
    EXPECT_EQ(addressProbe->calls[0].address, "192.168.0.88");
    addressProbe->finish();
    ASSERT_EQ(engine.configurationCalls.size(), 1);
    EXPECT_EQ(engine.configurationCalls[0].ip, "192.168.0.88");
    EXPECT_EQ(engine.configurationCalls[0].password, "pw");
    EXPECT_TRUE(device()->shouldProcess.get());
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(EventProcessorTest, ADeviceThatLeavesWhileItsAddressIsProbedGetsNothing) {
    discovered();
    addressProbe->hold();
    processor.handle(request("192.168.0.88"));
    silentFor(3000);
    ASSERT_TRUE(device().isNull());
    notifications.clear();
    addressProbe->finish();
    EXPECT_TRUE(engine.configurationCalls.isEmpty());
    EXPECT_EQ(messages(), QStringList{"Device is not available"});
}

// --- The configuration change from start to end
// ------------------------------------------------------

TEST_F(EventProcessorTest, NameOnlyChangeSucceedsAtOnceAndTheNextAnswerIsTaken) {
    discovered();
    processor.handle(request("192.168.0.77", "Line 4"));
    deliver(configurationAnswer(0));
    EXPECT_EQ(messages(), QStringList{"Configuration changed successfully"});
    auto renamed = answer();
    renamed->name = "Line 4";
    deliver(renamed);
    EXPECT_EQ(device()->name.get(), "Line 4");
}

TEST_F(EventProcessorTest, AddressChangeWithRebootEndsInOneSuccess) {
    discovered();
    processor.handle(request("192.168.0.88"));
    // Pending: answers only refresh lastSeen.
    auto early = answer();
    early->name = "not yet";
    deliver(early);
    EXPECT_EQ(device()->name.get(), "Line 3");
    EXPECT_TRUE(device()->shouldProcess.get());

    deliver(configurationAnswer(0));
    ASSERT_TRUE(device()->isProcessing.get());
    deliver(early);
    EXPECT_EQ(device()->name.get(), "Line 3");

    silentFor(3000);
    EXPECT_TRUE(device()->isRebooting.get());
    EXPECT_TRUE(device());

    deliver(answer("192.168.0.88"));
    EXPECT_EQ(messages(), QStringList{"Configuration changed successfully"});
    EXPECT_EQ(device()->ip.get(), "192.168.0.88");
    EXPECT_FALSE(device()->shouldProcess.get());
    EXPECT_FALSE(device()->isProcessing.get());
    EXPECT_FALSE(device()->isRebooting.get());
    EXPECT_FALSE(device()->isMissing.get());
}

TEST_F(EventProcessorTest, ASilentRebootTimesOutAfterTwoMinutes) {
    discovered();
    processor.handle(request("192.168.0.88"));
    deliver(configurationAnswer(0));
    silentFor(3000);
    ASSERT_TRUE(device()->isRebooting.get());
    clock.advanceMs(119999 - 3000);
    deliver(detector.check());
    EXPECT_TRUE(device()->isProcessing.get());
    EXPECT_TRUE(messages().isEmpty());

    clock.advanceMs(1);
    deliver(detector.check());
    EXPECT_EQ(messages(), QStringList{"Configuration request operation timeout"});
    EXPECT_FALSE(device()->isProcessing.get());
    EXPECT_FALSE(device()->isRebooting.get());
    EXPECT_FALSE(device()->shouldProcess.get());

    // Not a favourite and no longer processing: the next report removes it.
    deliver(detector.check());
    EXPECT_FALSE(device());
}

TEST_F(EventProcessorTest, AfterAnErrorTheDeviceIsUpdatedAgain) {
    discovered();
    processor.handle(request("192.168.0.88"));
    deliver(configurationAnswer(1));
    auto renamed = answer();
    renamed->name = "Line 9";
    deliver(renamed);
    EXPECT_EQ(device()->name.get(), "Line 9");
}

TEST_F(EventProcessorTest, AnUnansweredAddressChangeFreesTheDeviceWhenItIsGivenUp) {
    discovered();
    processor.handle(request("192.168.0.88"));
    auto renamed = answer();
    renamed->name = "Line 9";
    clock.advanceMs(EventProcessor::answerTimeoutMs - 1);
    processor.expireRequests();
    deliver(renamed);
    EXPECT_EQ(device()->name.get(), "Line 3");
    EXPECT_TRUE(messages().isEmpty());

    clock.advanceMs(1);
    processor.expireRequests();
    deliver(renamed);
    EXPECT_EQ(device()->name.get(), "Line 9");
    EXPECT_FALSE(device()->shouldProcess.get());
    EXPECT_EQ(messages(), QStringList{"No answer from the device"});
}

TEST_F(EventProcessorTest, AnUnansweredRequestOfASilentFavouriteIsGivenUp) {
    discovered();
    device()->isFavorite.set(true);
    processor.handle(request("192.168.0.88"));
    silentFor(3000);
    EXPECT_TRUE(device()->shouldProcess.get());
    silentFor(EventProcessor::answerTimeoutMs - 3000);
    processor.expireRequests();
    EXPECT_FALSE(device()->shouldProcess.get());
    EXPECT_TRUE(messages().contains("No answer from the device"));
}

TEST_F(EventProcessorTest, ADeviceThatKeepsAnsweringWhileProcessingIsTakenUpAfterTwoMinutes) {
    discovered();
    processor.handle(request("192.168.0.88"));
    deliver(configurationAnswer(0));
    // It answers on, never showing the new settings.
    auto stuck = answer("192.168.0.77");
    stuck->name = "Line 3 (old)";
    clock.advanceMs(119000);
    deliver(stuck);
    EXPECT_EQ(device()->name.get(), "Line 3");
    clock.advanceMs(1000);
    deliver(stuck);
    EXPECT_EQ(device()->name.get(), "Line 3 (old)");
    EXPECT_FALSE(device()->isProcessing.get());
    EXPECT_EQ(messages(), QStringList{"Configuration request operation timeout"});
}

// --- Time limits against a wall clock that jumps -------------------------------------------------

namespace {
constexpr qint64 threeHoursMs = 3 * 3600 * 1000;
}  // namespace

// The user or a time service may set the system clock at any moment; the
// time limits, the silence, the card list's age and the log interval count
// real time passed, not the wall clock's distance.
class WallClockJump : public EventProcessorTest, public ::testing::WithParamInterface<qint64> {
protected:
    void disconnectTick() {
        deliver(QSharedPointer<DevicesDisconnected>::create(
            QVector<QWeakPointer<Device>>{device().toWeakRef()}));
    }
};

TEST_P(WallClockJump, NeitherFiresNorDelaysTheTimeLimitOfAnUnansweredRequest) {
    discovered();
    processor.handle(request("192.168.0.88"));
    clock.jumpWallClockMs(GetParam());
    clock.advanceMs(EventProcessor::answerTimeoutMs - 1);
    processor.expireRequests();
    EXPECT_TRUE(device()->shouldProcess.get());
    EXPECT_TRUE(messages().isEmpty());

    clock.advanceMs(1);
    processor.expireRequests();
    EXPECT_FALSE(device()->shouldProcess.get());
    EXPECT_EQ(messages(), QStringList{"No answer from the device"});
}

TEST_P(WallClockJump, NeitherFiresNorDelaysTheTimeLimitOfASilentReboot) {
    discovered();
    processor.handle(request("192.168.0.88"));
    deliver(configurationAnswer(0));
    ASSERT_TRUE(device()->isProcessing.get());
    clock.jumpWallClockMs(GetParam());
    clock.advanceMs(119999);
    disconnectTick();
    EXPECT_TRUE(device()->isProcessing.get());
    EXPECT_TRUE(messages().isEmpty());

    clock.advanceMs(1);
    disconnectTick();
    EXPECT_FALSE(device()->isProcessing.get());
    EXPECT_EQ(messages(), QStringList{"Configuration request operation timeout"});
}

TEST_P(WallClockJump, NeitherDropsALiveDeviceNorKeepsASilentOne) {
    discovered();
    clock.jumpWallClockMs(GetParam());
    silentFor(2999);
    EXPECT_TRUE(device());
    silentFor(1);
    EXPECT_FALSE(device());
}

TEST_P(WallClockJump, NeitherRefreshesNorKeepsTheCardList) {
    int reads = 0;
    processor.setCardSource([&] {
        ++reads;
        return cards;
    });
    deliver(answer());
    clock.jumpWallClockMs(GetParam());
    clock.advanceMs(EventProcessor::cardListMaxAgeMs - 1);
    deliver(answer());
    EXPECT_EQ(reads, 1);
    clock.advanceMs(1);
    deliver(answer());
    EXPECT_EQ(reads, 2);
}

INSTANTIATE_TEST_SUITE_P(Jumps, WallClockJump,
                         ::testing::Values(-threeHoursMs, threeHoursMs, -60000),
                         [](const auto& info) {
                             return (info.param < 0 ? "Back" : "Forward") +
                                    std::to_string(std::abs(info.param) / 1000) + "s";
                         });

// --- Silence ------------------------------------------------------------------------------------

TEST_F(EventProcessorTest, ASilentFavouriteIsMarkedMissingOnce) {
    discovered();
    device()->isFavorite.set(true);
    silentFor(3000);
    silentFor(1000);
    silentFor(1000);
    ASSERT_TRUE(device());
    EXPECT_TRUE(device()->isMissing.get());
    EXPECT_EQ(device()->statusStringDetails.get(), (QStringList{"ok", "Device is not available"}));
    EXPECT_EQ(messages(), QStringList{"DeviceNoLongerAvailable"});
}

TEST_F(EventProcessorTest, ASilentDeviceIsRemovedOnce) {
    discovered();
    const QWeakPointer<Device> weak = device();
    auto event = detector.check();
    EXPECT_TRUE(event.isNull());
    clock.advanceMs(3000);
    event = detector.check();
    ASSERT_TRUE(event);
    deliver(event);
    deliver(event);
    EXPECT_TRUE(devices.items().isEmpty());
    EXPECT_EQ(messages(), QStringList{"DeviceNoLongerAvailable"});
}

TEST_F(EventProcessorTest, ASilentProcessingDeviceIsMarkedRebootingAndKept) {
    discovered();
    processor.handle(request("192.168.0.88"));
    deliver(configurationAnswer(0));
    silentFor(3000);
    silentFor(1000);
    ASSERT_TRUE(device());
    EXPECT_TRUE(device()->isRebooting.get());
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(EventProcessorTest, ARebootingDeviceThatIsNoLongerProcessingIsLeftAlone) {
    discovered();
    device()->isRebooting.set(true);
    silentFor(3000);
    ASSERT_TRUE(device());
    EXPECT_TRUE(messages().isEmpty());
}

// --- Favourites and localize requests
// -------------------------------------------------------------------

TEST_F(EventProcessorTest, SettingAFavouritePostsItsMessage) {
    discovered();
    SetFavoriteRequest q;
    q.deviceId = kId;
    q.isFavorite = true;
    processor.handle(q);
    EXPECT_TRUE(device()->isFavorite.get());
    q.isFavorite = false;
    processor.handle(q);
    processor.handle(q);
    EXPECT_FALSE(device()->isFavorite.get());
    EXPECT_EQ(messages(), (QStringList{"DeviceSetToFavorites", "DeviceRemovedFromFavorites",
                                       "DeviceRemovedFromFavorites"}));
    q.deviceId = "nobody_1";
    processor.handle(q);
    EXPECT_EQ(messages().size(), 3);
}

TEST_F(EventProcessorTest, ALocalizeRequestGoesOutWithTheDeviceIdentity) {
    discovered();
    LocalizeRequest q;
    q.deviceId = kId;
    q.username = "admin";
    q.password = "pw";
    processor.handle(q);
    q.deviceId = "nobody_1";
    processor.handle(q);
    ASSERT_EQ(engine.localizeCalls.size(), 1);
    EXPECT_EQ(engine.localizeCalls[0].articleNumber, "ABC");
    EXPECT_EQ(engine.localizeCalls[0].serialNumber, "X1");
    EXPECT_EQ(engine.localizeCalls[0].username, "admin");
    EXPECT_EQ(engine.localizeCalls[0].password, "pw");
    EXPECT_EQ(engine.localizeCalls[0].cardIp, "192.168.0.10");
}

TEST_F(EventProcessorTest, RequestsForADeviceWhoseCardIsGoneAreNotSentAnywhere) {
    discovered();
    NIC other;
    other.name.set("eth1");
    other.addresses.set({NIC::Address("10.1.0.10", "255.255.0.0")});
    cards = {other};
    clock.advanceMs(EventProcessor::cardListMaxAgeMs);

    processor.handle(request("192.168.0.78"));
    LocalizeRequest q;
    q.deviceId = kId;
    q.username = "admin";
    q.password = "pw";
    processor.handle(q);

    EXPECT_TRUE(engine.configurationCalls.isEmpty());
    EXPECT_TRUE(engine.localizeCalls.isEmpty());
    EXPECT_FALSE(device()->shouldProcess.get()) << "nothing was sent, so nothing is pending";
    EXPECT_EQ(messages(),
              (QStringList{EventProcessor::deviceCardGone, EventProcessor::deviceCardGone}));
}

// --- Device limit ------------------------------------------------------------------------

namespace {

QStringList g_warnings;

void recordWarning(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg) {
        g_warnings << text;
    }
}

// Collects the warnings logged while it lives.
struct WarningCapture {
    WarningCapture() {
        g_warnings.clear();
        previous = qInstallMessageHandler(recordWarning);
    }
    ~WarningCapture() { qInstallMessageHandler(previous); }
    int count(const QString& part) const { return g_warnings.filter(part).size(); }
    QtMessageHandler previous;
};

}  // namespace

class DeviceLimitTest : public EventProcessorTest {
protected:
    void answerFrom(int serial, const QString& name = "Line 3") {
        auto r = answer();
        r->serialNumber = QStringLiteral("S%1").arg(serial);
        r->name = name;
        deliver(r);
    }
};

TEST_F(DeviceLimitTest, TheDefaultLimitIs65536) {
    EXPECT_EQ(EventProcessor::defaultDeviceLimit, 65536);
}

TEST_F(DeviceLimitTest, NewDevicesBeyondTheLimitAreIgnoredLoggedAndPostedOnce) {
    processor.setDeviceLimit(3);
    WarningCapture log;
    for (int serial = 1; serial <= 6; ++serial) {
        answerFrom(serial);
    }
    ASSERT_EQ(devices.items().size(), 3);
    EXPECT_FALSE(device("abc_s4"));
    EXPECT_EQ(messages(), QStringList{EventProcessor::deviceLimitReached});
    EXPECT_EQ(log.count("Device limit of 3 reached"), 1);

    // A minute on, the next ignored device is logged again; still one post.
    clock.advanceMs(EventProcessor::deviceLimitLogIntervalMs);
    answerFrom(7);
    EXPECT_EQ(log.count("Device limit of 3 reached"), 2);
    EXPECT_EQ(messages(), QStringList{EventProcessor::deviceLimitReached});
}

TEST_F(DeviceLimitTest, DevicesAlreadyKeptStillUpdateAtTheLimit) {
    processor.setDeviceLimit(2);
    answerFrom(1);
    answerFrom(2);
    answerFrom(1, "Renamed");
    EXPECT_EQ(device("abc_s1")->name.get(), "Renamed");
    EXPECT_TRUE(messages().filter(EventProcessor::deviceLimitReached).isEmpty());
}

TEST_F(DeviceLimitTest, RoomMadeByARemovedDeviceIsUsedAndAFullStoreIsPostedAgain) {
    processor.setDeviceLimit(2);
    answerFrom(1);
    answerFrom(2);
    answerFrom(3);
    devices.remove(device("abc_s1"));
    answerFrom(3);
    EXPECT_TRUE(device("abc_s3"));
    answerFrom(4);
    EXPECT_EQ(messages().filter(EventProcessor::deviceLimitReached).size(), 2);
}

// After WarningCapture; instantiated with the other jumps above.
TEST_P(WallClockJump, NeitherRepeatsNorHoldsBackTheDeviceLimitLog) {
    processor.setDeviceLimit(1);
    WarningCapture log;
    const auto answerFrom = [&](int serial) {
        auto r = answer();
        r->serialNumber = QStringLiteral("S%1").arg(serial);
        deliver(r);
    };
    answerFrom(1);
    answerFrom(2);
    ASSERT_EQ(log.count("Device limit of 1 reached"), 1);
    clock.jumpWallClockMs(GetParam());
    clock.advanceMs(EventProcessor::deviceLimitLogIntervalMs - 1);
    answerFrom(3);
    EXPECT_EQ(log.count("Device limit of 1 reached"), 1);
    clock.advanceMs(1);
    answerFrom(4);
    EXPECT_EQ(log.count("Device limit of 1 reached"), 2);
}

// --- The steps a batch job follows ----------------------------------------------------

class ConfigurationStepTable;

namespace {

struct StepRow {
    const char* name;
    std::function<void(ConfigurationStepTable&)> run;
    QStringList steps;
};

QString stepText(ConfigurationStep step, const QString& message) {
    switch (step) {
        case ConfigurationStep::Processing:
            return "processing";
        case ConfigurationStep::Rebooting:
            return "rebooting";
        case ConfigurationStep::Succeeded:
            return "succeeded";
        case ConfigurationStep::Failed:
            return "failed:" + message;
    }
    return QString();
}

}  // namespace

class ConfigurationStepTable : public EventProcessorTest,
                               public ::testing::WithParamInterface<StepRow> {
public:
    using EventProcessorTest::answer;
    using EventProcessorTest::cards;
    using EventProcessorTest::clock;
    using EventProcessorTest::configurationAnswer;
    using EventProcessorTest::deliver;
    using EventProcessorTest::discovered;
    using EventProcessorTest::processor;
    using EventProcessorTest::request;
    using EventProcessorTest::silentFor;
};

TEST_P(ConfigurationStepTable, EachRequestEndsInOneFinalStep) {
    QStringList steps;
    QObject::connect(&processor, &EventProcessor::configurationStep,
                     [&steps](const QString& id, ConfigurationStep step, const QString& message) {
                         steps << id + ":" + stepText(step, message);
                     });
    discovered();
    GetParam().run(*this);
    EXPECT_EQ(steps, GetParam().steps);
}

INSTANTIATE_TEST_SUITE_P(
    Flows, ConfigurationStepTable,
    ::testing::Values(StepRow{"RenameAccepted",
                              [](ConfigurationStepTable& t) {
                                  t.processor.handle(t.request("192.168.0.77", "Line 4"));
                                  t.deliver(t.configurationAnswer(0));
                              },
                              {"abc_x1:succeeded"}},
                      StepRow{"AddressChangeWithReboot",
                              [](ConfigurationStepTable& t) {
                                  t.processor.handle(t.request("192.168.0.88"));
                                  t.deliver(t.configurationAnswer(0));
                                  t.silentFor(3000);
                                  // Still silent a second later: no second rebooting step.
                                  t.silentFor(1000);
                                  t.deliver(t.answer("192.168.0.88"));
                              },
                              {"abc_x1:processing", "abc_x1:rebooting", "abc_x1:succeeded"}},
                      StepRow{"NotAuthorized",
                              [](ConfigurationStepTable& t) {
                                  t.processor.handle(t.request("192.168.0.88"));
                                  t.deliver(t.configurationAnswer(6));
                              },
                              {"abc_x1:failed:Not authorized"}},
                      StepRow{"SilentRebootTimesOut",
                              [](ConfigurationStepTable& t) {
                                  t.processor.handle(t.request("192.168.0.88"));
                                  t.deliver(t.configurationAnswer(0));
                                  t.silentFor(3000);
                                  t.silentFor(EventProcessor::requestTimeoutMs);
                              },
                              {"abc_x1:processing", "abc_x1:rebooting",
                               "abc_x1:failed:Configuration request operation timeout"}},
                      StepRow{"NoAnswer",
                              [](ConfigurationStepTable& t) {
                                  t.processor.handle(t.request("192.168.0.88"));
                                  t.clock.advanceMs(EventProcessor::answerTimeoutMs);
                                  t.processor.expireRequests();
                              },
                              {"abc_x1:failed:No answer from the device"}},
                      StepRow{"UnknownDevice",
                              [](ConfigurationStepTable& t) {
                                  auto q = t.request();
                                  q.deviceId = "zzz_9";
                                  t.processor.handle(q);
                              },
                              {"zzz_9:failed:Device is not available"}},
                      StepRow{"CardGone",
                              [](ConfigurationStepTable& t) {
                                  t.cards.clear();
                                  t.clock.advanceMs(EventProcessor::cardListMaxAgeMs);
                                  t.processor.handle(t.request("192.168.0.88"));
                              },
                              {"abc_x1:failed:" + EventProcessor::deviceCardGone}}),
    [](const ::testing::TestParamInfo<StepRow>& info) { return std::string(info.param.name); });
