#pragma once

// Shared by the fuzz targets: quiet Qt logging (the readers log every
// rejected document, which would drown libFuzzer's own output and slow it
// down) and the JSON value an input stands for.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace fuzzsupport {

inline void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

// Installs the silent handler once; returns true so it can start a static.
inline bool silenceQt() {
    qInstallMessageHandler(dropMessage);
    return true;
}

inline QByteArray bytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size));
}

// The readers take a QJsonValue; Qt only parses objects and arrays at the
// top, so both are handed on as they are and anything unparsable as null.
inline QJsonValue jsonValue(const std::uint8_t* data, std::size_t size) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes(data, size));
    if (document.isArray()) {
        return document.array();
    }
    if (document.isObject()) {
        return document.object();
    }
    return QJsonValue();
}

}  // namespace fuzzsupport
