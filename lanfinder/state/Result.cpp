#include "state/Result.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString statusText(ResultStatus status) {
    switch (status) {
        case ResultStatus::OK:
            return QStringLiteral("OK");
        case ResultStatus::ValidationError:
            return QStringLiteral("ValidationError");
        default:
            return QStringLiteral("Unknown");
    }
}

}  // namespace

QJsonObject Result::toJson() const {
    QJsonObject object;
    if (!details.isEmpty()) {
        object.insert(QStringLiteral("details"), QJsonArray::fromStringList(details));
    }
    if (!reqId.isEmpty()) {
        object.insert(QStringLiteral("reqId"), reqId);
    }
    if (!reqType.isEmpty()) {
        object.insert(QStringLiteral("reqType"), reqType);
    }
    object.insert(QStringLiteral("status"), statusText(status));
    return object;
}

QByteArray Result::toCompactJson() const {
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}
