#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

struct Event;

// What one state-change event tells the state cache, copied out of it: the
// raiser frees the event when its call returns, and a copy made on the
// raiser's thread can be replayed on the main thread.
struct CacheChange {
    enum class Kind {
        None,
        App,
        Scanner,
        DeviceChanged,
        DeviceRemoved,
        DeviceAdded,
        BatchWhole,
        BatchKey,
        BatchItem
    };

    // The one reading of the six kinds the cache handles: None for any other
    // kind and for a DeviceAdded without a device. A DeviceAdded's device is
    // serialised here, on the caller's thread, which owns it during the call.
    static CacheChange of(const Event& event);

    Kind kind = Kind::None;
    QString deviceId;
    QString key;
    QJsonValue value;
    // The whole device, for DeviceAdded.
    QJsonObject device;
};
