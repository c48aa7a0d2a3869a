#pragma once

#include <QJsonArray>
#include <QJsonValue>
#include <QSharedPointer>
#include <QVector>

// A record with a JSON form. fromJson() returns true; every failure is thrown
// as a QString text (a key followed by " not found", ...) and caught by the
// caller of the outermost read.
class ISerializable {
public:
    virtual ~ISerializable() = default;
    virtual QJsonValue toJson() const = 0;
    virtual bool fromJson(const QJsonValue& value) = 0;
};

// The JSON form of any record, for properties that hold one.
inline QJsonValue toJsonValue(const ISerializable& record) {
    return record.toJson();
}

// An ordered list of shared records with a JSON form: an array of the items'
// forms. Reading appends; the items already held stay.
template <typename T>
class ISerializableCollection {
public:
    virtual ~ISerializableCollection() = default;

    virtual QJsonValue toJson() const {
        QJsonArray array;
        for (const auto& item : m_items) {
            array.append(item->toJson());
        }
        return array;
    }

    // A failure thrown by an element ends the read: that element is not
    // appended, the ones appended before it stay.
    virtual bool fromJson(const QJsonValue& value) {
        const QJsonArray array = value.toArray();
        for (const QJsonValue& element : array) {
            auto item = QSharedPointer<T>::create();
            item->fromJson(element);
            append(item);
        }
        return true;
    }

    // The items in insertion order.
    const QVector<QSharedPointer<T>>& items() const { return m_items; }

protected:
    // Every item the collection's read takes in passes here; a collection
    // that keeps an index extends it.
    virtual void append(const QSharedPointer<T>& item) { m_items.append(item); }

    QVector<QSharedPointer<T>> m_items;
};

template <typename T>
QJsonValue toJsonValue(const ISerializableCollection<T>& collection) {
    return collection.toJson();
}
