#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>

#include "state/WebGUIEvent.h"

// Builds one request from the parsed message; throws the reading failure as
// a QString.
using RequestFactory = std::function<std::unique_ptr<WebGUIEvent>(const QJsonDocument&)>;

// The request kinds by their exact, case-sensitive "reqType" text.
const std::map<QString, RequestFactory>& requestRegistry();

// Parses one browser message into a request, or returns null and appends the
// one failure text to `errors`. `reqType` and `reqId` receive the message's
// values once both could be read, and keep theirs otherwise.
std::unique_ptr<WebGUIEvent> parseRequest(const QByteArray& message, QStringList& errors,
                                          QString& reqType, QString& reqId);
