#pragma once

#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

#include "device/NIC.h"

struct Device;
class IAddressProbe;
struct SetConfigurationRequest;

// The checks a change request passes before anything is sent to its device:
// a device moved onto an address another host holds clashes with it, and
// the plant loses both. A refused change is reported by one of the texts
// below, which the browser translates (www/lnf/js/notify.js).
class ChangeCheck {
public:
    // The device is unknown, or a favourite that does not answer.
    static const QString deviceNotAvailable;
    // Another listed device has the address now; the text goes on with its id.
    static const QString addressInUseBy;
    // Address, mask and gateway do not make a host on one subnet.
    static const QString invalidAddress;
    // A host answers on the address behind the device's card, or the
    // address is one of this computer's own.
    static const QString addressInUse;

    // What the checks that need no network found.
    struct Verdict {
        // Empty when nothing speaks against the change.
        QString refusal;
        // When not empty, a probe through this card for the new address
        // decides.
        QString probeCard;
    };

    using Done = std::function<void(const QString& refusal)>;

    explicit ChangeCheck(std::shared_ptr<IAddressProbe> probe = nullptr);

    // A change to DHCP, or one that keeps the device's address, is not
    // checked for a clash: the address is the device's own already.
    static Verdict inspect(const SetConfigurationRequest& request,
                           const QVector<QSharedPointer<Device>>& devices,
                           const QVector<NIC>& cards);

    // inspect(), then the probe when it asks for one; done gets the
    // refusal, empty when the change may go out. Without a probe, or when
    // the probe cannot tell, the address counts as free.
    void run(const SetConfigurationRequest& request, const QVector<QSharedPointer<Device>>& devices,
             const QVector<NIC>& cards, Done done) const;

    void setAddressProbe(std::shared_ptr<IAddressProbe> probe) { m_probe = std::move(probe); }

    // Every refusal text as the browser's catalogue has to know it (the one
    // with a device id as its prefix).
    static QStringList refusalTexts();

    // Whether the texts are a host address, its mask and a gateway (0.0.0.0
    // for none) on the same subnet.
    static bool isValidHost(const QString& ip, const QString& mask, const QString& gateway);

private:
    std::shared_ptr<IAddressProbe> m_probe;
};
