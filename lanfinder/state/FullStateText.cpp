#include "state/FullStateText.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

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

struct DeviceText::Outline {
    // Before each member's value: the bracket or comma, the line feed, the
    // indent and the member's name.
    std::vector<QByteArray> before;
    int seenIndex = -1;
    QByteArray end;

    // The one outline for these members at this level; never freed. Null
    // when too many different ones were asked for already.
    static const Outline* of(const QStringList& keys, const QString& seenKey, int level) {
        static auto* lock = new std::mutex;
        static auto* outlines = new std::map<std::pair<QStringList, int>, std::unique_ptr<Outline>>;
        // Devices all have the same members, and the document puts them at
        // one level; anything beyond a few is kept whole.
        constexpr std::size_t limit = 16;
        std::lock_guard<std::mutex> guard(*lock);
        auto found = outlines->find({keys, level});
        if (found != outlines->end()) {
            return found->second.get();
        }
        if (outlines->size() >= limit) {
            return nullptr;
        }
        auto outline = std::make_unique<Outline>();
        for (int i = 0; i < keys.size(); ++i) {
            outline->before.push_back((i == 0 ? "{\n" : ",\n") + indent(level + 1) +
                                      valueText(keys[i]) + ": ");
            if (keys[i] == seenKey) {
                outline->seenIndex = i;
            }
        }
        outline->end = keys.isEmpty() ? QByteArray("{") : "\n" + indent(level);
        outline->end += '}';
        return outlines->emplace(std::make_pair(keys, level), std::move(outline))
            .first->second.get();
    }

    // The values of text, each followed by a NUL, lastSeen's left empty; or
    // nothing when text is not this outline filled in with values (then it
    // is kept whole).
    std::optional<QByteArray> valuesOf(const QByteArray& text, const QByteArray& seenValue) const {
        if (before.empty() || seenIndex < 0 || text.contains('\0')) {
            return std::nullopt;
        }
        QByteArray values;
        int at = 0;
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (text.indexOf(before[i], at) != at) {
                return std::nullopt;
            }
            at += before[i].size();
            const int next =
                i + 1 < before.size() ? text.indexOf(before[i + 1], at) : text.size() - end.size();
            if (next < at) {
                return std::nullopt;
            }
            const QByteArray value = text.mid(at, next - at);
            if (static_cast<int>(i) == seenIndex) {
                if (value != seenValue) {
                    return std::nullopt;
                }
            } else {
                values += value;
            }
            values += '\0';
            at = next;
        }
        if (text.mid(at) != end) {
            return std::nullopt;
        }
        return values;
    }

    void write(QByteArray& out, const QByteArray& values, const QByteArray& seenText) const {
        const char* value = values.constData();
        for (std::size_t i = 0; i < before.size(); ++i) {
            out += before[i];
            const std::size_t length = std::strlen(value);
            if (static_cast<int>(i) == seenIndex) {
                out += seenText;
            } else {
                out.append(value, static_cast<int>(length));
            }
            value += length + 1;
        }
        out += end;
    }
};

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
    if (m_outline) {
        m_outline->write(out, m_values, m_seenText);
        return;
    }
    out += m_values;
    out += m_seenText;
    out += m_tail;
}

void DeviceText::rewrite(const Device& device, int level) {
    QJsonObject object = device.toJson().toObject();
    object.insert(device.lastSeen.key(), kSeenPlaceholder);
    const QByteArray text = indentedAt(object, level);
    const QByteArray seenValue = valueText(kSeenPlaceholder);
    m_level = level;
    m_outline = Outline::of(object.keys(), device.lastSeen.key(), level);
    if (m_outline) {
        if (auto values = m_outline->valuesOf(text, seenValue)) {
            m_values = *values;
            m_values.squeeze();
            m_tail.clear();
            return;
        }
        m_outline = nullptr;
    }
    const QByteArray key = "\"" + device.lastSeen.key().toUtf8() + "\": ";
    const int at = text.indexOf(key + seenValue) + key.size();
    m_values = text.left(at);
    m_tail = text.mid(at + seenValue.size());
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
