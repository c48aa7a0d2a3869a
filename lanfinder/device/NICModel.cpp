#include "device/NICModel.h"

NICModel::NICModel(const QVector<NIC>& cards) {
    update(cards);
}

void NICModel::update(const QVector<NIC>& cards) {
    m_items.clear();
    for (const auto& card : cards) {
        append(QSharedPointer<NIC>::create(card));
    }
}
