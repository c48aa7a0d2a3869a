#include "state/FullStateText.h"

#include <QJsonArray>
#include <QJsonDocument>

#include "state/Device.h"

namespace {

// Never a lastSeen or a device list: control characters do not occur in
// either, and a device's strings holding them are found only after a key of
// their own.
const QString kSeenPlaceholder = QStringLiteral("\x01lastSeen\x01");
const QString kListPlaceholder = QStringLiteral("\x01devices\x01");

QByteArray indent(int level) {
    return QByteArray(4 * level, ' ');
}

// A JSON value's text as QJsonDocument writes it inside a document.
QByteArray valueText(const QJsonValue& value) {
    QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return text.mid(1, text.size() - 2);
}

// The indented text of an object as it appears at the given nesting level:
// QJsonDocument writes it at level 0 and ends it with a newline.
QByteArray indentedAt(const QJsonObject& object, int level) {
    QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented);
    text.chop(1);
    if (level > 0) {
        text.replace('\n', QByteArray("\n") + indent(level));
    }
    return text;
}

}  // namespace

void DeviceText::appendTo(QByteArray& out, const Device& device, quint64 version, bool cacheable,
                          int level) {
    if (!cacheable || !m_valid || m_version != version || m_level != level) {
        rewrite(device, level);
        m_valid = cacheable;
        m_version = version;
    }
    const QDateTime& seen = device.lastSeen.get();
    // The same instant in the same local zone or UTC is the same text; an
    // instant with another kind of zone may be written with another offset.
    const bool zoneSays = seen.timeSpec() != Qt::LocalTime && seen.timeSpec() != Qt::UTC;
    if (!m_seenValid || zoneSays || seen.timeSpec() != m_seen.timeSpec() || seen != m_seen) {
        m_seenText = valueText(toJsonValue(seen));
        m_seen = seen;
        m_seenValid = true;
    }
    out += m_head;
    out += m_seenText;
    out += m_tail;
}

void DeviceText::rewrite(const Device& device, int level) {
    QJsonObject object = device.toJson().toObject();
    object.insert(device.lastSeen.key(), kSeenPlaceholder);
    const QByteArray text = indentedAt(object, level);
    const QByteArray key = "\"" + device.lastSeen.key().toUtf8() + "\": ";
    const int at = text.indexOf(key + valueText(kSeenPlaceholder)) + key.size();
    m_head = text.left(at);
    m_tail = text.mid(at + valueText(kSeenPlaceholder).size());
    m_level = level;
}

QString deviceListPlaceholder() {
    return kListPlaceholder;
}

QByteArray indentedWithDeviceList(const QJsonObject& document,
                                  const QVector<QSharedPointer<Device>>& devices) {
    // "devices" is a member of the document (level 1) and "list" of it, so
    // the array stands at level 2 and its devices at level 3.
    constexpr int listLevel = 2;
    const QByteArray outline = QJsonDocument(document).toJson(QJsonDocument::Indented);
    const QByteArray placeholder = valueText(kListPlaceholder);
    const int at = outline.indexOf(placeholder);
    if (at < 0) {
        return outline;
    }
    QByteArray out;
    out.reserve(outline.size() + devices.size() * 1300);
    out += QByteArray::fromRawData(outline.constData(), at);
    out += "[\n";
    const QByteArray deviceIndent = indent(listLevel + 1);
    for (int i = 0; i < devices.size(); ++i) {
        out += deviceIndent;
        devices[i]->appendIndentedJson(out, listLevel + 1);
        out += i + 1 < devices.size() ? ",\n" : "\n";
    }
    out += indent(listLevel);
    out += ']';
    out += QByteArray::fromRawData(outline.constData() + at + placeholder.size(),
                                   outline.size() - at - placeholder.size());
    return out;
}
