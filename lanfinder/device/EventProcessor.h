#pragma once

#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "device/ChangeCheck.h"
#include "device/ConfigurationStep.h"
#include "device/IEventProcessor.h"
#include "device/NIC.h"
#include "device/PendingRequests.h"
#include "state/IEventHandler.h"

class AppNotificationStore;
class ArpProbe;
class DeviceStore;
class IAddressProbe;
class IProcessRunner;
class IProtocolEngine;
class NICModel;

// Creates and updates the devices of the store from protocol answers and
// disconnect reports, drives the configuration change of a device (pending,
// in progress, rebooting, done or timed out), carries the browser's device
// requests to the engine and posts the user notifications. Everything runs
// on the main thread, except the ping of the reachability probes, whose
// results come back to the main thread before they touch a device.
class SeenBoard;

class EventProcessor : public IEventProcessor, public IEventHandler {
    Q_OBJECT
public:
    // Source of the computer's cards for the local subnet test.
    using CardSource = std::function<QVector<NIC>()>;

    // A device that accepted new network settings and has not come back
    // with them is given up after this long.
    static constexpr qint64 requestTimeoutMs = 120000;
    // A device answers every request at once, before it applies any of it
    // (a restart for new network settings comes after the answer). A request
    // with no answer after this long is reported as such, so that no request
    // of the user ends without an outcome.
    static constexpr qint64 answerTimeoutMs = 15000;
    // The longest the check for unanswered requests sleeps while any waits.
    static constexpr qint64 answerCheckIntervalMs = 1000;
    // Posted, naming the device, for a request not answered in time.
    static const QString noAnswer;

    // None of the pointers is owned.
    EventProcessor(IProtocolEngine* engine, DeviceStore* devices,
                   AppNotificationStore* notifications, NICModel* nics, QObject* parent = nullptr);
    // Waits for the probes still running (each ends within about a second).
    ~EventProcessor() override;

    void checkAccessibility(QSharedPointer<Device> device) override;
    // Runs "ping -c 1 -W 1 <ip>"; reachable exactly when it exits with 0. A
    // text that is not a dotted IPv4 address, or a ping that cannot be
    // started, counts as unreachable.
    bool isReachable(std::string ip) override;

    using IEventHandler::handle;
    void handle(const DiscoveryResponse& response) override;
    void handle(const ConfigurationResponse& response) override;
    void handle(const LocalizeResponse& response) override;
    void handle(const DevicesDisconnected& event) override;
    void handle(const SetConfigurationRequest& request) override;
    void handle(const SetFavoriteRequest& request) override;
    void handle(const LocalizeRequest& request) override;

    // The process runner the probes start ping with; set it before the first
    // answer arrives. The default starts real processes.
    void setProcessRunner(std::shared_ptr<const IProcessRunner> runner);
    // What tells whether a host already holds the address a change moves a
    // device to; by default arping, started through the process runner.
    void setAddressProbe(std::shared_ptr<IAddressProbe> probe);
    // Where the local subnet test reads the cards; by default the system's
    // card list. A list read is used for cardListMaxAgeMs (by the Clock), so a
    // burst of answers costs one read instead of one per answer.
    void setCardSource(CardSource source);
    // Where a device whose answer left nothing but lastSeen to do is settled
    // under the answer's repeat key, so that its repeats are taken as seen
    // before they reach this thread; none by default (every answer comes).
    void setSeenBoard(std::shared_ptr<SeenBoard> board);

    // As long as the backend's card watch takes to notice a change, so the
    // subnet test is never staler than the rest of the program.
    static constexpr qint64 cardListMaxAgeMs = 1000;

    // A flood of answers from made-up devices must not exhaust the memory:
    // beyond this many devices in the store new ones are ignored.
    static constexpr int defaultDeviceLimit = 65536;
    // The ignored devices are logged at most once per this long.
    static constexpr qint64 deviceLimitLogIntervalMs = 60000;
    // Posted once each time the store fills up.
    static const QString deviceLimitReached;
    // Posted instead of sending a request when the card the device was seen
    // on is no longer among the computer's cards.
    static const QString deviceCardGone;
    void setDeviceLimit(int limit) { m_deviceLimit = limit; }

    // Whether a probe of this device is running.
    bool isProbing(const QString& deviceId) const { return m_probing.contains(deviceId); }

    // The checks a change passes before it goes out, without sending it: a
    // batch puts every item through them before its first item is sent.
    void checkChange(const SetConfigurationRequest& request, ChangeCheck::Done done) const;

    // Requests sent and not yet answered.
    const PendingRequests& pendingRequests() const { return m_pending; }

signals:
    // Every step of a device's configuration request; message is the text
    // posted for a failure (empty otherwise). Emitted on the main thread,
    // after the device's flags have changed.
    void configurationStep(const QString& deviceId, ConfigurationStep step, const QString& message);

public slots:
    void handleEvent(QSharedPointer<Event> event) override;
    // Posts noAnswer for every request its device has not answered within
    // answerTimeoutMs (by the Clock's monotonic time). Runs on a timer of its
    // own when the oldest request is due.
    void expireRequests();

private:
    // Whether the device is on a subnet of the card it answered on: one in
    // another card's subnet is routed out of that card and not reached.
    // nowMs: Clock::monotonicMs, for the age of the card list.
    bool isOnLocalSubnet(const Device& device, qint64 nowMs) const;
    QVector<NIC> localCards(qint64 nowMs) const;
    void readCardSubnets() const;
    void applyProbeResult(const QString& deviceId, bool reachable);
    // deviceId names the device the message is about, when there is one.
    void post(const QString& message, const QString& deviceId = QString());
    void armAnswerTimer();
    void copyAnswer(Device& device, const DiscoveryResponse& response);
    // Ends the configuration change of a device, whatever its outcome.
    void endConfiguration(Device& device);
    void rebootingCheck(Device& device);
    // True once the time limit has passed since the device's entry in
    // starts; false when it has none.
    bool timeLimitPassed(const QHash<QString, qint64>& starts, const QString& deviceId) const;
    // Whether the answer already carries the settings the device's change gives it.
    bool showsPlannedNetwork(const QString& deviceId, const DiscoveryResponse& response) const;
    QDateTime now() const;
    // False (after telling the user) when the device's card is gone: its
    // credentials must not go out of any other card.
    bool deviceCardPresent(const Device& device);
    // Sends a change that passed its checks, unless its device went away
    // while they ran.
    void sendChange(const SetConfigurationRequest& request);
    // Whether a new device still fits; logs and posts the overflow.
    bool roomForNewDevice();

    IProtocolEngine* m_engine;
    DeviceStore* m_devices;
    AppNotificationStore* m_notifications;
    NICModel* m_nics;
    std::shared_ptr<const IProcessRunner> m_runner;
    std::shared_ptr<ArpProbe> m_arpProbe;
    ChangeCheck m_changeCheck;
    CardSource m_cardSource;
    std::shared_ptr<SeenBoard> m_seenBoard;
    // The last card list read and when; mutable as a cache of a const query.
    mutable QVector<NIC> m_cards;
    // Each card's addresses and the subnets they span, from m_cards.
    struct CardSubnets {
        QStringList addresses;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> subnets;  // address, mask
    };
    mutable std::vector<CardSubnets> m_cardSubnets;
    // Clock::monotonicMs when m_cards was read; none before the first read.
    mutable std::optional<qint64> m_cardsReadAtMs;
    // Devices whose probe runs; at most one probe per device.
    QSet<QString> m_probing;
    QVector<QPointer<QThread>> m_probes;
    // When a device began to apply new network settings, per device id, on
    // the monotonic clock: the time limit must not move with the system time.
    QHash<QString, qint64> m_processingStarts;
    // The network settings a change gives its device, per device id, until
    // the change ends.
    struct PlannedNetwork {
        QString ip;
        QString subnetMask;
        QString defaultGateway;
        sdk::system::network_method_type method;
    };
    QHash<QString, PlannedNetwork> m_plannedNetworks;
    PendingRequests m_pending;
    QTimer m_answerTimer;
    int m_deviceLimit = defaultDeviceLimit;
    bool m_deviceLimitPosted = false;
    std::optional<qint64> m_deviceLimitLoggedAtMs;
    int m_devicesIgnored = 0;
};
