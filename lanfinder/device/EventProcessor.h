#pragma once

#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <QVector>

#include <functional>
#include <memory>

#include "device/ChangeCheck.h"
#include "device/IEventProcessor.h"
#include "device/NIC.h"
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
class EventProcessor : public IEventProcessor, public IEventHandler {
    Q_OBJECT
public:
    // Source of the computer's cards for the local subnet test.
    using CardSource = std::function<QVector<NIC>()>;

    // A configuration request with no outcome is given up after this long.
    static constexpr qint64 requestTimeoutMs = 120000;

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

public slots:
    void handleEvent(QSharedPointer<Event> event) override;

private:
    // Whether the device is on a subnet of the card it answered on: one in
    // another card's subnet is routed out of that card and not reached.
    bool isOnLocalSubnet(const Device& device, const QDateTime& current) const;
    QVector<NIC> localCards(const QDateTime& current) const;
    void applyProbeResult(const QString& deviceId, bool reachable);
    void post(const QString& message);
    void copyAnswer(Device& device, const DiscoveryResponse& response);
    // Ends the configuration change of a device, whatever its outcome.
    void endConfiguration(Device& device);
    // A request that changed network settings and got no outcome at all
    // within the time limit.
    bool pendingRequestExpired(const Device& device) const;
    void rebootingCheck(Device& device);
    // True once the time limit has passed since the device's entry in
    // starts; false when it has none.
    bool timeLimitPassed(const QHash<QString, qint64>& starts, const QString& deviceId) const;
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
    // The last card list read and when; mutable as a cache of a const query.
    mutable QVector<NIC> m_cards;
    mutable QDateTime m_cardsReadAt;
    mutable QDateTime m_cardsExpireAt;
    // Devices whose probe runs; at most one probe per device.
    QSet<QString> m_probing;
    QVector<QPointer<QThread>> m_probes;
    // When a request that changed network settings was sent, and when its
    // device began to apply it, per device id, on the monotonic clock: the
    // time limits must not move with the system time.
    QHash<QString, qint64> m_requestTimes;
    QHash<QString, qint64> m_processingStarts;
    int m_deviceLimit = defaultDeviceLimit;
    bool m_deviceLimitPosted = false;
    QDateTime m_deviceLimitLoggedAt;
    int m_devicesIgnored = 0;
};
