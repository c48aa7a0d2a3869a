#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVector>

#include "state/AppNotification.h"
#include "state/ICacheNotifier.h"
#include "state/IStateProvider.h"
#include "state/StateCache.h"

namespace devicetest {

// A registered state cache that keeps every diff it emits, so that tests
// can count the change events the state model raised.
class CacheRecorder : public IStateProvider {
public:
    CacheRecorder() : cache(this) {
        cacheInstance(&cache);
        QObject::connect(&cache, &StateCache::cacheUpdated, [this](const QByteArray& diff) {
            diffs.append(QJsonDocument::fromJson(diff).object());
        });
    }

    QJsonValue toJson() const override { return QJsonObject(); }
    QVector<QSharedPointer<AppNotification>> takeNotifications() override { return {}; }

    // The values that key took for the device, in order of the diffs.
    QVector<QJsonValue> deviceChanges(const QString& deviceId, const QString& key) const {
        QVector<QJsonValue> values;
        for (const auto& diff : diffs) {
            for (const auto& entry : diff["devices"].toObject()["updated"].toArray()) {
                const QJsonObject object = entry.toObject();
                if (object["id"].toString() == deviceId && object.contains(key)) {
                    values.append(object[key]);
                }
            }
        }
        return values;
    }
    // Every key that changed for the device, in order.
    QStringList changedKeys(const QString& deviceId) const {
        QStringList keys;
        for (const auto& diff : diffs) {
            for (const auto& entry : diff["devices"].toObject()["updated"].toArray()) {
                QJsonObject object = entry.toObject();
                if (object["id"].toString() == deviceId) {
                    object.remove("id");
                    keys << object.keys();
                }
            }
        }
        return keys;
    }
    QVector<QJsonValue> scannerChanges(const QString& key) const {
        QVector<QJsonValue> values;
        for (const auto& diff : diffs) {
            const QJsonObject scanner = diff["autoScanner"].toObject();
            if (scanner.contains(key)) {
                values.append(scanner[key]);
            }
        }
        return values;
    }

    StateCache cache;
    QVector<QJsonObject> diffs;
};

}  // namespace devicetest
