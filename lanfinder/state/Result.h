#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <cstdint>

enum class ResultStatus : int { OK = 0, ValidationError = 1, Unknown = 3 };

// The outcome of one browser request (state/WebGUIEvent.h), made by the
// request handler (app/GuiHandler) and sent back by the web server
// (web/WebServer) to the browser that asked.
struct Result {
    std::uint64_t clientID = 0;
    ResultStatus status = ResultStatus::Unknown;
    QStringList details;
    QString reqType;
    QString reqId;

    // {"details":[...],"reqId":..,"reqType":..,"status":..}; empty members left out.
    QJsonObject toJson() const;
    // toJson() serialised compact.
    QByteArray toCompactJson() const;
};

Q_DECLARE_METATYPE(Result)
