#include "device/EventProcessor.h"

#include <QDebug>

#include <algorithm>
#include <atomic>

#include "device/AddressProbe.h"
#include "device/IProtocolEngine.h"
#include "device/NetworkInterfaces.h"
#include "device/OutcomeText.h"
#include "device/ProcessRunner.h"
#include "device/ProtocolEvents.h"
#include "device/SecretText.h"
#include "ipv4text/ipv4_text.h"
#include "state/AppNotification.h"
#include "state/Clock.h"
#include "state/DeviceStore.h"
#include "state/SeenBoard.h"
#include "state/WebGUIEvent.h"

namespace {

// A change waiting for its checks, with a password that shares no memory
// with the caller's and is wiped when the wait ends, answered or not.
struct HeldChange {
    explicit HeldChange(const SetConfigurationRequest& given) : request(given) {
        request.password = secretCopy(given.password);
    }
    ~HeldChange() { wipeText(request.password); }
    HeldChange(const HeldChange&) = delete;
    HeldChange& operator=(const HeldChange&) = delete;
    SetConfigurationRequest request;
};

bool parseIpv4(const QString& text, std::uint32_t& out) {
    const auto address = ipv4text::parse(text.toStdString());
    out = address.value_or(0);
    return address.has_value();
}

QString configurationResultMessage(int result) {
    return QString::fromLatin1(
        configurationOutcome(static_cast<sdk::system::operation_result>(result)));
}

QString localizeResultMessage(int result) {
    return QString::fromLatin1(localizeOutcome(static_cast<sdk::system::operation_result>(result)));
}

const QString configurationSucceeded =
    QString::fromLatin1(configurationOutcome(sdk::system::operation_result::ACCEPTED));
const QString configurationTimedOut = QStringLiteral("Configuration request operation timeout");
const QString noLongerAvailable = QStringLiteral("DeviceNoLongerAvailable");

}  // namespace

const QString EventProcessor::deviceLimitReached =
    QStringLiteral("Too many devices answered. Further devices are not shown");
const QString EventProcessor::noAnswer = QStringLiteral("No answer from the device");
const QString EventProcessor::deviceCardGone =
    QStringLiteral("The network card the device was found on is no longer available");

EventProcessor::EventProcessor(IProtocolEngine* engine, DeviceStore* devices,
                               AppNotificationStore* notifications, NICModel* nics, QObject* parent)
    : IEventProcessor(parent),
      m_engine(engine),
      m_devices(devices),
      m_notifications(notifications),
      m_nics(nics),
      m_runner(std::make_shared<ProcessRunner>()),
      m_arpProbe(std::make_shared<ArpProbe>(m_runner)),
      m_changeCheck(m_arpProbe) {
    m_answerTimer.setSingleShot(true);
    connect(&m_answerTimer, &QTimer::timeout, this, &EventProcessor::expireRequests);
}

EventProcessor::~EventProcessor() {
    // The probe threads call isReachable() on this object.
    for (const auto& probe : m_probes) {
        if (probe) {
            probe->wait();
        }
    }
}

void EventProcessor::setProcessRunner(std::shared_ptr<const IProcessRunner> runner) {
    m_runner = std::move(runner);
    m_arpProbe->setProcessRunner(m_runner);
}

void EventProcessor::setAddressProbe(std::shared_ptr<IAddressProbe> probe) {
    m_changeCheck.setAddressProbe(std::move(probe));
}

void EventProcessor::setSeenBoard(std::shared_ptr<SeenBoard> board) {
    m_seenBoard = std::move(board);
}

void EventProcessor::setCardSource(CardSource source) {
    m_cardSource = std::move(source);
    m_cardsReadAtMs.reset();
}

QDateTime EventProcessor::now() const {
    return Clock::instance().currentDateTime();
}

void EventProcessor::handleEvent(QSharedPointer<Event> event) {
    if (event) {
        event->accept(*this);
    }
}

void EventProcessor::post(const QString& message, const QString& deviceId) {
    if (m_notifications) {
        m_notifications->add(makeNotification(message, deviceId));
    }
}

// --- Requests that wait for their answer ---------------------------------------------

void EventProcessor::armAnswerTimer() {
    const auto oldest = m_pending.oldestSentAtMs();
    if (!oldest) {
        m_answerTimer.stop();
        return;
    }
    const qint64 due = *oldest + answerTimeoutMs - Clock::instance().monotonicMs();
    // Qt's timers do not run on the Clock: looked at once a second at least,
    // and a timer that fires early finds nothing due and is armed again.
    m_answerTimer.start(static_cast<int>(std::clamp<qint64>(due, 0, answerCheckIntervalMs)));
}

void EventProcessor::expireRequests() {
    const auto expired = m_pending.takeExpired(Clock::instance().monotonicMs(), answerTimeoutMs);
    for (const auto& request : expired) {
        qWarning().noquote() << "No answer from " + request.deviceId;
        const auto device = m_devices->find(request.deviceId, true).toStrongRef();
        // A change the device never accepted must not keep it frozen: its
        // own answers show its real settings again.
        if (device && request.kind == PendingRequests::Kind::Configuration &&
            device->shouldProcess.get() && !device->isProcessing.get()) {
            endConfiguration(*device);
        }
        post(noAnswer, request.deviceId);
        if (request.kind == PendingRequests::Kind::Configuration) {
            emit configurationStep(request.deviceId, ConfigurationStep::Failed, noAnswer);
        }
    }
    armAnswerTimer();
}

// --- Discovery answers ------------------------------------------------------------

void EventProcessor::handle(const DiscoveryResponse& response) {
    const QString id = response.deviceId.isEmpty()
                           ? deviceIdOf(response.articleNumber, response.serialNumber)
                           : response.deviceId;
    QSharedPointer<Device> device = m_devices->find(id, true).toStrongRef();
    const bool isNew = device.isNull();
    if (isNew) {
        if (!roomForNewDevice()) {
            return;
        }
        device = QSharedPointer<Device>::create(id);
    }
    const qint64 nowMs = Clock::instance().monotonicMs();
    device->markSeen(now(), nowMs);

    if (isNew) {
        m_devices->add(device);
    } else if (device->isProcessing.get() && !device->isRebooting.get()) {
        if (showsPlannedNetwork(id, response)) {
            // A restart shorter than the silence that marks a device as
            // restarting goes unseen: the answer shows the change took.
            post(configurationSucceeded, id);
            emit configurationStep(id, ConfigurationStep::Succeeded, QString());
        } else {
            // The device is applying a change. One that keeps answering but
            // never completes must not stay frozen past the time limit.
            if (!timeLimitPassed(m_processingStarts, id)) {
                return;
            }
            post(configurationTimedOut, id);
            emit configurationStep(id, ConfigurationStep::Failed, configurationTimedOut);
        }
    } else if (device->isProcessing.get() && device->isRebooting.get()) {
        post(configurationSucceeded, id);
        emit configurationStep(id, ConfigurationStep::Succeeded, QString());
    } else if (device->shouldProcess.get()) {
        // A change request waits for its answer; without one it ends by
        // expireRequests().
        return;
    }

    // A repeated answer from the same card holds the values copied last time.
    if (response.repeatKey == 0 || response.repeatKey != device->answerKey() ||
        response.ipOfAssociatedNic != device->ipOfAssociatedNic.get()) {
        copyAnswer(*device, response);
        device->setAnswerKey(response.repeatKey);
    }
    device->isMissing.set(false);
    device->shouldProcess.set(false);
    device->isProcessing.set(false);
    device->isRebooting.set(false);
    m_processingStarts.remove(id);
    m_plannedNetworks.remove(id);

    // Outside every local subnet the answer keeps the last probe result
    // until the probe now started replaces it: clearing it here would make a
    // reachable device flicker on every answer.
    const bool local = isOnLocalSubnet(*device, nowMs);
    if (local) {
        device->isAccessible.set(true);
    } else {
        checkAccessibility(device);
    }
    device->isAuthentication.set(response.isAuthentication);

    // The same answer again would change nothing but lastSeen (a device off
    // every local subnet starts a probe per answer, so its answers still come).
    if (m_seenBoard && local && response.repeatKey != 0 && device->hasChangeEvents() &&
        device->answerKey() == response.repeatKey) {
        device->settle(m_seenBoard, response.repeatKey, response.ipOfAssociatedNic);
    }
}

bool EventProcessor::roomForNewDevice() {
    if (m_devices->items().size() < m_deviceLimit) {
        m_deviceLimitPosted = false;
        return true;
    }
    ++m_devicesIgnored;
    const qint64 nowMs = Clock::instance().monotonicMs();
    if (!m_deviceLimitLoggedAtMs || nowMs - *m_deviceLimitLoggedAtMs >= deviceLimitLogIntervalMs) {
        qWarning().noquote() << QStringLiteral(
                                    "Device limit of %1 reached: %2 new device(s) ignored")
                                    .arg(m_deviceLimit)
                                    .arg(m_devicesIgnored);
        m_deviceLimitLoggedAtMs = nowMs;
        m_devicesIgnored = 0;
    }
    if (!m_deviceLimitPosted) {
        m_deviceLimitPosted = true;
        post(deviceLimitReached);
    }
    return false;
}

void EventProcessor::copyAnswer(Device& device, const DiscoveryResponse& r) {
    device.name.set(r.name);
    device.type.set(r.type);
    device.url.set(r.url);
    device.hwVersion.set(r.hwVersion);
    device.fwVersion.set(r.fwVersion);
    device.articleNumber.set(r.articleNumber);
    device.serialNumber.set(r.serialNumber);
    device.manufactureDate.set(r.manufactureDate);
    device.manufacturer.set(r.manufacturer);
    device.deviceState.set(r.deviceState);
    device.statusStringDetails.set(r.infoMessages);
    device.ipOfAssociatedNic.set(r.ipOfAssociatedNic);
    device.ip.set(r.ip);
    device.mac.set(r.mac);
    device.defaultGateway.set(r.defaultGateway);
    device.subnetMask.set(r.subnetMask);
    device.networkMethod.set(r.networkMethod);
    device.supportsDHCP.set(r.supportsDHCP);
    device.supportsPersistentIP.set(r.supportsPersistentIP);
    device.supportsLocalize.set(r.supportsLocalize);
}

QVector<NIC> EventProcessor::localCards(qint64 nowMs) const {
    // Reading the system's cards (a netlink dump, ioctls and /proc reads per
    // card) once per answer was most of the main thread's work at thousands
    // of answers a second. Aged on the monotonic clock, so setting the system
    // time neither keeps a stale list nor forces a read per answer.
    const bool fresh = m_cardsReadAtMs && nowMs - *m_cardsReadAtMs < cardListMaxAgeMs;
    if (!fresh) {
        m_cards = m_cardSource ? m_cardSource() : queryNetworkInterfaces();
        m_cardsReadAtMs = nowMs;
        readCardSubnets();
    }
    return m_cards;
}

bool EventProcessor::isOnLocalSubnet(const Device& device, qint64 nowMs) const {
    std::uint32_t deviceAddress = 0;
    if (!parseIpv4(device.ip.get(), deviceAddress)) {
        return false;
    }
    localCards(nowMs);
    const QString& seenOn = device.ipOfAssociatedNic.get();
    for (const auto& card : m_cardSubnets) {
        if (!card.addresses.contains(seenOn)) {
            continue;
        }
        for (const auto& [cardAddress, mask] : card.subnets) {
            if ((mask & cardAddress) == (mask & deviceAddress)) {
                return true;
            }
        }
    }
    return false;
}

void EventProcessor::readCardSubnets() const {
    // Parsed once per reading of the cards, not for every answer.
    m_cardSubnets.clear();
    for (const auto& card : m_cards) {
        CardSubnets subnets;
        for (const auto& address : card.addresses.get()) {
            subnets.addresses << address.ip.get();
            std::uint32_t cardAddress = 0;
            std::uint32_t mask = 0;
            if (parseIpv4(address.ip.get(), cardAddress) &&
                parseIpv4(address.subnetMask.get(), mask)) {
                subnets.subnets.push_back({cardAddress, mask});
            }
        }
        m_cardSubnets.push_back(std::move(subnets));
    }
}

// --- Reachability probe -------------------------------------------------------------

void EventProcessor::checkAccessibility(QSharedPointer<Device> device) {
    if (!device) {
        return;
    }
    const QString id = device->id.get();
    // One probe per device: answers arrive every second, a probe of an
    // unreachable address takes about as long, and many devices outside the
    // local subnets would otherwise pile up threads and ping processes.
    if (m_probing.contains(id)) {
        return;
    }
    m_probing.insert(id);
    const std::string ip = device->ip.get().toStdString();
    auto reachable = std::make_shared<std::atomic<bool>>(false);
    QThread* probe = QThread::create([this, ip, reachable] { *reachable = isReachable(ip); });
    // The result is applied on the main thread: the store and the devices
    // have no locks.
    connect(probe, &QThread::finished, this,
            [this, id, reachable] { applyProbeResult(id, reachable->load()); });
    connect(probe, &QThread::finished, probe, &QObject::deleteLater);
    m_probes.removeAll(QPointer<QThread>());
    m_probes.append(probe);
    probe->start(QThread::InheritPriority);
}

void EventProcessor::applyProbeResult(const QString& deviceId, bool reachable) {
    m_probing.remove(deviceId);
    const auto device = m_devices->find(deviceId, false).toStrongRef();
    if (!device) {
        qWarning().noquote() << "Device not found: " + deviceId;
        return;
    }
    device->isAccessible.set(reachable);
}

bool EventProcessor::isReachable(std::string ip) {
    std::uint32_t parsed = 0;
    const QString address = QString::fromStdString(ip);
    // Only a dotted address reaches the command line, never an option.
    if (!parseIpv4(address, parsed)) {
        return false;
    }
    const auto runner = m_runner;
    if (!runner) {
        return false;
    }
    try {
        return runner->run(QStringLiteral("ping"), {"-c", "1", "-W", "1", address}).exitCode == 0;
    } catch (const std::exception& e) {
        qWarning().noquote() << "Cannot run ping: " + QString::fromStdString(e.what());
        return false;
    }
}

// --- Configuration and localize answers ---------------------------------------------

void EventProcessor::handle(const ConfigurationResponse& response) {
    const QString id = deviceIdOf(response.articleNumber, response.serialNumber);
    const auto request = m_pending.take(PendingRequests::Kind::Configuration, id);
    armAnswerTimer();
    const auto device = m_devices->find(id, false).toStrongRef();
    if (!device) {
        return;
    }
    if (response.result == 0) {
        if (device->shouldProcess.get()) {
            device->isProcessing.set(true);
            device->processingStartedTime.set(now());
            m_processingStarts.insert(id, Clock::instance().monotonicMs());
            emit configurationStep(id, ConfigurationStep::Processing, QString());
        } else {
            // The device carries its new name from now on; its next answer
            // would show it a second later, after the message had named the
            // device by the name it no longer has.
            if (request) {
                device->name.set(request->name);
            }
            post(configurationSucceeded, id);
            emit configurationStep(id, ConfigurationStep::Succeeded, QString());
        }
        return;
    }
    endConfiguration(*device);
    const QString message = configurationResultMessage(response.result);
    post(message, id);
    emit configurationStep(id, ConfigurationStep::Failed, message);
}

void EventProcessor::endConfiguration(Device& device) {
    device.isProcessing.set(false);
    device.isRebooting.set(false);
    // Left set, the flag would make the device ignore its own answers from
    // now on and the browser would show stale settings.
    device.shouldProcess.set(false);
    m_processingStarts.remove(device.id.get());
    m_plannedNetworks.remove(device.id.get());
}

void EventProcessor::handle(const LocalizeResponse& response) {
    const auto request = m_pending.take(PendingRequests::Kind::Localize);
    armAnswerTimer();
    post(localizeResultMessage(response.result), request ? request->deviceId : QString());
}

// --- Silence ---------------------------------------------------------------------------

bool EventProcessor::showsPlannedNetwork(const QString& deviceId,
                                         const DiscoveryResponse& response) const {
    const auto planned = m_plannedNetworks.constFind(deviceId);
    if (planned == m_plannedNetworks.constEnd() || response.networkMethod != planned->method) {
        return false;
    }
    // A DHCP server picks the address; the method alone tells the change took.
    return planned->method != sdk::system::network_method_type::PERSISTENT_IP ||
           (response.ip == planned->ip && response.subnetMask == planned->subnetMask &&
            response.defaultGateway == planned->defaultGateway);
}

bool EventProcessor::timeLimitPassed(const QHash<QString, qint64>& starts,
                                     const QString& deviceId) const {
    const auto start = starts.constFind(deviceId);
    return start != starts.constEnd() &&
           Clock::instance().monotonicMs() - *start >= requestTimeoutMs;
}

void EventProcessor::rebootingCheck(Device& device) {
    const QString id = device.id.get();
    if (!device.isRebooting.get()) {
        device.isRebooting.set(true);
        emit configurationStep(id, ConfigurationStep::Rebooting, QString());
    }
    if (timeLimitPassed(m_processingStarts, id)) {
        endConfiguration(device);
        post(configurationTimedOut, id);
        emit configurationStep(id, ConfigurationStep::Failed, configurationTimedOut);
    }
}

void EventProcessor::handle(const DevicesDisconnected& event) {
    for (const auto& weak : event.devices) {
        const auto device = weak.toStrongRef();
        if (!device) {
            continue;
        }
        const bool favorite = device->isFavorite.get();
        const bool missing = device->isMissing.get();
        const bool processing = device->isProcessing.get();
        const bool rebooting = device->isRebooting.get();
        if (favorite && !missing && !processing && !rebooting) {
            device->isMissing.set(true);
            QStringList details = device->statusStringDetails.get();
            details << QStringLiteral("Device is not available");
            device->statusStringDetails.set(details);
            post(noLongerAvailable);
        } else if (processing) {
            rebootingCheck(*device);
        } else if (!favorite && !rebooting) {
            post(noLongerAvailable);
            m_processingStarts.remove(device->id.get());
            m_plannedNetworks.remove(device->id.get());
            m_devices->remove(device);
        }
    }
}

// --- Browser requests -------------------------------------------------------------------

bool EventProcessor::deviceCardPresent(const Device& device) {
    const QString card = device.ipOfAssociatedNic.get();
    for (const auto& nic : localCards(Clock::instance().monotonicMs())) {
        for (const auto& address : nic.addresses.get()) {
            if (!card.isEmpty() && address.ip.get() == card) {
                return true;
            }
        }
    }
    qWarning().noquote() << "No card " + card + " for the request to " + device.id.get();
    post(deviceCardGone, device.id.get());
    return false;
}

void EventProcessor::handle(const SetConfigurationRequest& request) {
    const auto device = m_devices->find(request.deviceId, false).toStrongRef();
    if (device && !device->isMissing.get() && !deviceCardPresent(*device)) {
        emit configurationStep(request.deviceId, ConfigurationStep::Failed, deviceCardGone);
        return;
    }
    // The request's answer goes back at once; a probe's verdict comes later,
    // as the notification of a refusal or as the change going out. The caller
    // wipes its password when this returns, so the wait keeps one of its own.
    auto held = std::make_shared<HeldChange>(request);
    m_changeCheck.run(
        request, m_devices->items(), localCards(Clock::instance().monotonicMs()),
        [this, held](const QString& refusal) {
            const SetConfigurationRequest& change = held->request;
            if (refusal.isEmpty()) {
                sendChange(change);
                return;
            }
            qDebug().noquote() << "Change of " + change.deviceId + " refused: " + refusal;
            post(refusal, change.deviceId);
            emit configurationStep(change.deviceId, ConfigurationStep::Failed, refusal);
        });
}

void EventProcessor::checkChange(const SetConfigurationRequest& request,
                                 ChangeCheck::Done done) const {
    m_changeCheck.run(request, m_devices->items(), localCards(Clock::instance().monotonicMs()),
                      std::move(done));
}

void EventProcessor::sendChange(const SetConfigurationRequest& request) {
    const auto device = m_devices->find(request.deviceId, false).toStrongRef();
    if (!device || device->isMissing.get()) {
        post(ChangeCheck::deviceNotAvailable, request.deviceId);
        emit configurationStep(request.deviceId, ConfigurationStep::Failed,
                               ChangeCheck::deviceNotAvailable);
        return;
    }
    const bool changed = request.ip != device->ip.get() ||
                         request.subnetMask != device->subnetMask.get() ||
                         request.defaultGateway != device->defaultGateway.get() ||
                         request.networkMethod != device->networkMethod.get();
    device->shouldProcess.set(changed);
    if (changed) {
        m_plannedNetworks.insert(device->id.get(), {request.ip, request.subnetMask,
                                                    request.defaultGateway, request.networkMethod});
    } else {
        m_plannedNetworks.remove(device->id.get());
    }
    if (m_engine) {
        m_engine->sendConfigurationRequest(
            device->ipOfAssociatedNic.get(), device->articleNumber.get(),
            device->serialNumber.get(), request.ip, request.subnetMask, request.defaultGateway,
            request.name, request.networkMethod, request.username, request.password);
        m_pending.add({device->id.get(), PendingRequests::Kind::Configuration,
                       Clock::instance().monotonicMs(), request.name});
        armAnswerTimer();
    }
}

void EventProcessor::handle(const LocalizeRequest& request) {
    const auto device = m_devices->find(request.deviceId, false).toStrongRef();
    if (device && m_engine && deviceCardPresent(*device)) {
        m_engine->sendLocalizeRequest(device->ipOfAssociatedNic.get(), device->articleNumber.get(),
                                      device->serialNumber.get(), request.username,
                                      request.password);
        m_pending.add({device->id.get(), PendingRequests::Kind::Localize,
                       Clock::instance().monotonicMs(), QString()});
        armAnswerTimer();
    }
}

void EventProcessor::handle(const SetFavoriteRequest& request) {
    const auto device = m_devices->find(request.deviceId, false).toStrongRef();
    if (!device) {
        return;
    }
    device->isFavorite.set(request.isFavorite);
    post(request.isFavorite ? QStringLiteral("DeviceSetToFavorites")
                            : QStringLiteral("DeviceRemovedFromFavorites"),
         request.deviceId);
}
