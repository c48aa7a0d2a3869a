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
    return ipv4text::is_valid_host(ip.toStdString(), mask.toStdString(), gateway.toStdString());
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
