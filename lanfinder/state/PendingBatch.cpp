#include "state/PendingBatch.h"

#include <QJsonArray>

namespace {

const QString itemsKey = QStringLiteral("items");
const QString deviceIdKey = QStringLiteral("deviceId");

}  // namespace

void PendingBatch::replace(const QJsonValue& report) {
    clear();
    m_whole = true;
    m_null = !report.isObject();
    if (m_null) {
        return;
    }
    m_keys = report.toObject();
    const QJsonArray items = m_keys.take(itemsKey).toArray();
    for (const QJsonValue& item : items) {
        setItem(item.toObject());
    }
}

void PendingBatch::set(const QString& key, const QJsonValue& value) {
    m_null = false;
    m_keys.insert(key, value);
}

void PendingBatch::setItem(const QJsonObject& item) {
    m_null = false;
    const QString id = item.value(deviceIdKey).toString();
    const auto known = m_itemIndex.constFind(id);
    if (known != m_itemIndex.constEnd()) {
        m_items[*known] = item;
        return;
    }
    m_itemIndex.insert(id, m_items.size());
    m_items.append(item);
}

bool PendingBatch::isEmpty() const {
    return !m_whole && m_keys.isEmpty() && m_items.isEmpty();
}

QJsonValue PendingBatch::toJson() const {
    if (isEmpty()) {
        return QJsonValue(QJsonValue::Undefined);
    }
    if (m_null) {
        return QJsonValue(QJsonValue::Null);
    }
    QJsonObject batch = m_keys;
    if (m_whole || !m_items.isEmpty()) {
        QJsonArray items;
        for (const QJsonObject& item : m_items) {
            items.append(item);
        }
        batch.insert(itemsKey, items);
    }
    return batch;
}

void PendingBatch::clear() {
    m_whole = false;
    m_null = false;
    m_keys = QJsonObject();
    m_items.clear();
    m_itemIndex.clear();
}
