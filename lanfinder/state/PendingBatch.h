#pragma once

#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVector>

// The batch job's changes since the last diff, coalesced like the rest of a
// diff: a later value of a key replaces an earlier one, and an item is
// listed once, in the order of its first change, with its latest content.
// A new job (or none) replaces everything before it, so the diff then holds
// the whole report and a browser can tell it from an update by its
// "startedTime", which never changes within one job.
class PendingBatch {
public:
    // The whole report: an object with "items", or null.
    void replace(const QJsonValue& report);
    void set(const QString& key, const QJsonValue& value);
    // An item object, known by its "deviceId".
    void setItem(const QJsonObject& item);

    bool isEmpty() const;
    // The diff's "batch" value; undefined when nothing is pending.
    QJsonValue toJson() const;
    void clear();

private:
    bool m_whole = false;
    bool m_null = false;
    QJsonObject m_keys;
    QVector<QJsonObject> m_items;
    QHash<QString, int> m_itemIndex;
};
