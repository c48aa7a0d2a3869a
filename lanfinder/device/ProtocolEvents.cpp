#include "device/ProtocolEvents.h"

#include "state/IEventHandler.h"

void DiscoveryResponse::accept(IEventHandler& handler) const {
    handler.handle(*this);
}

void ConfigurationResponse::accept(IEventHandler& handler) const {
    handler.handle(*this);
}

void LocalizeResponse::accept(IEventHandler& handler) const {
    handler.handle(*this);
}

QString deviceIdOf(const QString& articleNumber, const QString& serialNumber) {
    return QStringLiteral("%1_%2").arg(articleNumber, serialNumber).toLower();
}
