#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QMetaType>
#include <QSharedPointer>
#include <QString>
#include <QVector>
#include <QWeakPointer>

class IEventHandler;
struct Device;

// One state change or outside stimulus, dispatched to an IEventHandler by
// double dispatch. Fields are fixed at construction.
struct Event {
    // Stamped with the application clock.
    Event();
    virtual ~Event();

    virtual void accept(IEventHandler& handler) const = 0;

    QDateTime created;
};

// An application-level key ("language", "theme", "protocolState", "nics").
struct AppStateChanged : Event {
    AppStateChanged(const QString& key, const QJsonValue& value);
    void accept(IEventHandler& handler) const override;

    QString key;
    QJsonValue value;
};

// An auto-scanner key ("scanIntervalMs", "isActive", "lastScanTime").
struct AutoScannerChanged : Event {
    AutoScannerChanged(const QString& key, const QJsonValue& value);
    void accept(IEventHandler& handler) const override;

    QString key;
    QJsonValue value;
};

// The device is in the store while the event is handled; not owned.
struct DeviceAdded : Event {
    explicit DeviceAdded(Device* device);
    void accept(IEventHandler& handler) const override;

    Device* device;
};

struct DeviceChanged : Event {
    DeviceChanged(const QString& deviceId, const QString& key, const QJsonValue& value);
    void accept(IEventHandler& handler) const override;

    QString deviceId;
    QString key;
    QJsonValue value;
};

struct DeviceRemoved : Event {
    explicit DeviceRemoved(const QString& deviceId);
    void accept(IEventHandler& handler) const override;

    QString deviceId;
};

// Devices that stopped answering, for the event processor.
struct DevicesDisconnected : Event {
    explicit DevicesDisconnected(const QVector<QWeakPointer<Device>>& devices);
    void accept(IEventHandler& handler) const override;

    QVector<QWeakPointer<Device>> devices;
};

// The batch job's report: the whole of it when a job starts (part Whole,
// value the report object), one top-level key of it (part Key), or one item
// (part Item, value the item object).
struct BatchChanged : Event {
    enum class Part { Whole, Key, Item };
    BatchChanged(Part part, const QString& key, const QJsonValue& value);
    void accept(IEventHandler& handler) const override;

    Part part;
    QString key;
    QJsonValue value;
};

Q_DECLARE_METATYPE(QSharedPointer<Event>)
