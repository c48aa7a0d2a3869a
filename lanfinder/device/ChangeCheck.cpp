#include "device/ChangeCheck.h"

#include <QDebug>

#include <cstdint>
#include <optional>

#include "device/AddressProbe.h"
#include "ipv4text/ipv4_text.h"
#include "state/Device.h"
#include "state/WebGUIEvent.h"

namespace {

std::optional<std::uint32_t> parsed(const QString& text) {
    return ipv4text::parse(text.toStdString());
}

bool contiguous(std::uint32_t mask) {
    const std::uint32_t inverted = ~mask;
    return (inverted & (inverted + 1)) == 0;
}

// An address a host may have: not "this network" (0/8), not loopback, not
// multicast or reserved.
bool unicast(std::uint32_t address) {
    const std::uint32_t first = address >> 24;
    return first != 0 && first != 127 && first < 224;
}

// On /31 and /32 there is no network or broadcast address to avoid.
bool hostPart(std::uint32_t address, std::uint32_t mask) {
    if ((~mask) < 3) {
        return true;
    }
    const std::uint32_t host = address & ~mask;
    return host != 0 && host != ~mask;
}

}  // namespace

const QString ChangeCheck::deviceNotAvailable = QStringLiteral("Device is not available");
const QString ChangeCheck::addressInUseBy = QStringLiteral("Address in use by ");
const QString ChangeCheck::invalidAddress = QStringLiteral("Invalid address");
const QString ChangeCheck::addressInUse = QStringLiteral("Address in use");

ChangeCheck::ChangeCheck(std::shared_ptr<IAddressProbe> probe) : m_probe(std::move(probe)) {}

QStringList ChangeCheck::refusalTexts() {
    return {deviceNotAvailable, addressInUseBy, invalidAddress, addressInUse};
}

bool ChangeCheck::isValidHost(const QString& ip, const QString& mask, const QString& gateway) {
    const auto a = parsed(ip);
    const auto m = parsed(mask);
    const auto g = parsed(gateway);
    if (!a || !m || !g || *m == 0 || !contiguous(*m) || !unicast(*a) || !hostPart(*a, *m)) {
        return false;
    }
    if (*g == 0) {
        return true;
    }
    return *g != *a && (*g & *m) == (*a & *m) && unicast(*g) && hostPart(*g, *m);
}

ChangeCheck::Verdict ChangeCheck::inspect(const SetConfigurationRequest& request,
                                          const QVector<QSharedPointer<Device>>& devices,
                                          const QVector<NIC>& cards) {
    QSharedPointer<Device> device;
    for (const auto& d : devices) {
        if (d && d->id.get() == request.deviceId) {
            device = d;
        }
    }
    if (!device || device->isMissing.get()) {
        return {deviceNotAvailable, {}};
    }
    if (request.networkMethod != sdk::system::network_method_type::PERSISTENT_IP) {
        return {};
    }
    const bool addressKept = request.ip == device->ip.get();
    if (addressKept && request.subnetMask == device->subnetMask.get() &&
        request.defaultGateway == device->defaultGateway.get()) {
        return {};
    }
    if (!isValidHost(request.ip, request.subnetMask, request.defaultGateway)) {
        return {invalidAddress, {}};
    }
    if (addressKept) {
        return {};
    }
    const auto wanted = parsed(request.ip);
    for (const auto& other : devices) {
        if (other && other != device && parsed(other->ip.get()) == wanted) {
            return {addressInUseBy + other->id.get(), {}};
        }
    }
    QString probeCard;
    for (const auto& card : cards) {
        for (const auto& address : card.addresses.get()) {
            if (parsed(address.ip.get()) == wanted) {
                return {addressInUse, {}};
            }
            if (address.ip.get() == device->ipOfAssociatedNic.get()) {
                probeCard = card.name.get();
            }
        }
    }
    return {{}, probeCard};
}

void ChangeCheck::run(const SetConfigurationRequest& request,
                      const QVector<QSharedPointer<Device>>& devices, const QVector<NIC>& cards,
                      Done done) const {
    const Verdict verdict = inspect(request, devices, cards);
    if (!verdict.refusal.isEmpty() || verdict.probeCard.isEmpty() || !m_probe) {
        done(verdict.refusal);
        return;
    }
    const QString address = request.ip;
    m_probe->probe(verdict.probeCard, address, [done, address](IAddressProbe::Answer answer) {
        if (answer == IAddressProbe::Answer::Unknown) {
            // Refusing every change on a computer where the probe cannot run
            // would lock the user out; the device's own answer still tells.
            qWarning().noquote() << "Address " + address + " not checked; the change goes out";
        }
        done(answer == IAddressProbe::Answer::InUse ? addressInUse : QString());
    });
}
