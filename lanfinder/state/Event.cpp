#include "state/Event.h"

#include "state/Clock.h"
#include "state/IEventHandler.h"

Event::Event() : created(Clock::instance().currentDateTime()) {}

Event::~Event() = default;

AppStateChanged::AppStateChanged(const QString& key, const QJsonValue& value)
    : key(key), value(value) {}

void AppStateChanged::accept(IEventHandler& handler) const {
    handler.handle(*this);
}

AutoScannerChanged::AutoScannerChanged(const QString& key, const QJsonValue& value)
    : key(key), value(value) {}

void AutoScannerChanged::accept(IEventHandler& handler) const {
    handler.handle(*this);
}

DeviceAdded::DeviceAdded(Device* device) : device(device) {}

void DeviceAdded::accept(IEventHandler& handler) const {
    handler.handle(*this);
}

DeviceChanged::DeviceChanged(const QString& deviceId, const QString& key, const QJsonValue& value)
    : deviceId(deviceId), key(key), value(value) {}

void DeviceChanged::accept(IEventHandler& handler) const {
    handler.handle(*this);
}

DeviceRemoved::DeviceRemoved(const QString& deviceId) : deviceId(deviceId) {}

void DeviceRemoved::accept(IEventHandler& handler) const {
    handler.handle(*this);
}

DevicesDisconnected::DevicesDisconnected(const QVector<QWeakPointer<Device>>& devices)
    : devices(devices) {}

void DevicesDisconnected::accept(IEventHandler& handler) const {
    handler.handle(*this);
}

BatchChanged::BatchChanged(Part part, const QString& key, const QJsonValue& value)
    : part(part), key(key), value(value) {}

void BatchChanged::accept(IEventHandler& handler) const {
    handler.handle(*this);
}
