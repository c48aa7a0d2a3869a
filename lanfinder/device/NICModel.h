#pragma once

#include <QVector>

#include "device/NIC.h"
#include "state/Serializable.h"

// The computer's cards as the browser sees them (state key "nics"), in query
// order. It raises no events; its owner publishes changes.
class NICModel : public ISerializableCollection<NIC> {
public:
    explicit NICModel(const QVector<NIC>& cards = {});

    // Replaces every item by one new shared card per entry, in order.
    void update(const QVector<NIC>& cards);
};
