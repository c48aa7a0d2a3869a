#pragma once

#include <QObject>
#include <QSharedPointer>

#include <string>

#include "state/Event.h"

struct Device;

// Decides what the application knows about devices from their answers, from
// silence and from the browser's requests.
class IEventProcessor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts the asynchronous reachability probe of one device.
    virtual void checkAccessibility(QSharedPointer<Device> device) = 0;
    // The synchronous probe: whether ip answers one echo request within a
    // second. May be called from any thread.
    virtual bool isReachable(std::string ip) = 0;

public slots:
    // Dispatches the event to the handler operation of its kind.
    virtual void handleEvent(QSharedPointer<Event> event) = 0;
};
