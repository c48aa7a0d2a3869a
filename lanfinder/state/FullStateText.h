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

    // The member names, brackets and indentation that the kept texts of
    // every device at one level share.
    struct Outline;

private:
    void rewrite(const Device& device, int level);

    bool m_valid = false;
    quint64 m_version = 0;
    int m_level = 0;
    // Kept as the members' values alone, each followed by a NUL (which JSON
    // text never holds raw; lastSeen's is left empty), around the outline
    // of the level. A text that does not part so is kept whole: m_outline
    // is then null and m_values and m_tail hold the text before and after
    // lastSeen's value.
    const Outline* m_outline = nullptr;
    QByteArray m_values;
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
