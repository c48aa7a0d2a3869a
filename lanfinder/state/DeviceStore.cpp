#include "state/DeviceStore.h"

#include <QDebug>

#include "state/Event.h"

// Id to the devices holding it, in store order: every insertion is an append,
// so each list stays in store order without sorting. A device whose id
// changes while it is in the store marks the index stale; the next look-up
// rebuilds it.
struct DeviceStore::Index {
    QHash<QString, QVector<QSharedPointer<Device>>> byId;
    bool stale = false;
};

DeviceStore::DeviceStore() : m_index(QSharedPointer<Index>::create()) {}

DeviceStore::~DeviceStore() = default;

QWeakPointer<Device> DeviceStore::find(const QString& id, bool quiet) const {
    if (m_index->stale) {
        rebuildIndex();
    }
    const auto it = m_index->byId.constFind(id);
    if (it != m_index->byId.constEnd() && !it->isEmpty()) {
        return it->first();
    }
    if (!quiet) {
        qDebug().noquote() << "Device [" + id + "] not found";
    }
    return QWeakPointer<Device>();
}

void DeviceStore::add(QSharedPointer<Device> device) {
    if (!device) {
        return;
    }
    append(device);
    DeviceAdded event(device.data());
    notifyCache(&event);
}

void DeviceStore::remove(QSharedPointer<Device> device) {
    if (!device) {
        return;
    }
    // Its answers must come back through the event processor to add it again.
    device->unsettle();
    {
        DeviceRemoved event(device->id.get());
        notifyCache(&event);
    }
    if (m_items.removeAll(device) == 0) {
        return;
    }
    const auto it = m_index->byId.find(device->id.get());
    if (it == m_index->byId.end() || it->removeAll(device) == 0) {
        m_index->stale = true;
        return;
    }
    if (it->isEmpty()) {
        m_index->byId.erase(it);
    }
}

void DeviceStore::loadPersisted(const QJsonValue& list) {
    const int first = m_items.size();
    readAppending(list, false);
    for (const auto& device : qAsConst(m_items)) {
        device->isMissing.set(true);
        device->shouldProcess.set(false);
        device->isProcessing.set(false);
        device->isRebooting.set(false);
    }
    // A favourite that answers again must show its changes in the browser
    // like any discovered device; enabled after the reset above, which the
    // browser learns from the full state anyway.
    for (int i = first; i < m_items.size(); ++i) {
        m_items[i]->enableChangeEvents();
    }
}

bool DeviceStore::fromJson(const QJsonValue& value) {
    return readAppending(value, true);
}

void DeviceStore::append(const QSharedPointer<Device>& item) {
    m_items.append(item);
    indexDevice(item);
}

bool DeviceStore::readAppending(const QJsonValue& value, bool enableEvents) {
    const int first = m_items.size();
    const auto enable = [&] {
        if (!enableEvents) {
            return;
        }
        for (int i = first; i < m_items.size(); ++i) {
            m_items[i]->enableChangeEvents();
        }
    };
    try {
        ISerializableCollection<Device>::fromJson(value);
    } catch (...) {
        enable();
        throw;
    }
    enable();
    return true;
}

void DeviceStore::indexDevice(const QSharedPointer<Device>& device) {
    m_index->byId[device->id.get()].append(device);
    QWeakPointer<Index> index = m_index;
    device->id.addListener([index](const PropertyValue<QString>&) {
        if (auto strong = index.toStrongRef()) {
            strong->stale = true;
        }
    });
}

void DeviceStore::rebuildIndex() const {
    m_index->byId.clear();
    for (const auto& device : m_items) {
        m_index->byId[device->id.get()].append(device);
    }
    m_index->stale = false;
}
