#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QSharedPointer>
#include <QString>
#include <QVector>

struct Device;

// One device's indented JSON as the full state document holds it, kept
// between full states: rewritten only after one of the device's change events;
// lastSeen, which changes with every answer and raises none, is written in
// afresh (and kept while it stays the same).
class DeviceText {
public:
    // Appends the device's object as QJsonDocument writes it at the given
    // nesting level, without the indent before its opening brace. version
    // counts the device's changes; cacheable is false while the device raises
    // no change events, when nothing could tell that the kept text is stale.
    void appendTo(QByteArray& out, const Device& device, quint64 version, bool cacheable,
                  int level);

private:
    void rewrite(const Device& device, int level);

    bool m_valid = false;
    quint64 m_version = 0;
    int m_level = 0;
    // The text before and after lastSeen's value.
    QByteArray m_head;
    QByteArray m_tail;
    bool m_seenValid = false;
    QDateTime m_seen;
    QByteArray m_seenText;
};

// The value that stands for the device list in the document handed to
// indentedWithDeviceList().
QString deviceListPlaceholder();

// The bytes of QJsonDocument(document).toJson(QJsonDocument::Indented) with
// the devices as the array at "devices"."list", where document holds
// deviceListPlaceholder(); each device's text comes from its kept form.
QByteArray indentedWithDeviceList(const QJsonObject& document,
                                  const QVector<QSharedPointer<Device>>& devices);
