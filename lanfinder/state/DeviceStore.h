#pragma once

#include <QHash>
#include <QJsonValue>
#include <QSharedPointer>
#include <QString>
#include <QVector>
#include <QWeakPointer>

#include "state/Device.h"
#include "state/ICacheNotifier.h"
#include "state/Serializable.h"

// All devices, in insertion order. add() and remove() raise DeviceAdded and
// DeviceRemoved; items() is the device list of the full state and of the
// persisted favourites.
class DeviceStore : public ISerializableCollection<Device>, public ICacheNotifier {
public:
    DeviceStore();
    ~DeviceStore() override;

    // The first device (in store order) whose id equals id exactly, or null.
    // Logs "Device [<id>] not found" when nothing matches, unless quiet.
    QWeakPointer<Device> find(const QString& id, bool quiet = false) const;

    // Appends, then raises DeviceAdded; duplicates are not checked.
    void add(QSharedPointer<Device> device);
    // Raises DeviceRemoved, then removes every entry holding this device.
    void remove(QSharedPointer<Device> device);

    // Appends the persisted devices, marks every device of the store missing
    // and idle, and then lets the appended devices raise change events.
    void loadPersisted(const QJsonValue& list);

    // Appends the listed devices; they raise change events from then on.
    bool fromJson(const QJsonValue& value) override;

protected:
    void append(const QSharedPointer<Device>& item) override;

private:
    struct Index;

    void indexDevice(const QSharedPointer<Device>& device);
    void rebuildIndex() const;
    bool readAppending(const QJsonValue& value, bool enableEvents);

    QSharedPointer<Index> m_index;
};
