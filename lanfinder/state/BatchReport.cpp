#include "state/BatchReport.h"

#include <QJsonArray>
#include <QJsonObject>

#include "state/Clock.h"
#include "state/Event.h"
#include "state/Property.h"

namespace {

const QString stateKey = QStringLiteral("state");
const QString finishedKey = QStringLiteral("finishedTime");

}  // namespace

QString BatchReport::text(State state) {
    switch (state) {
        case State::Running:
            return QStringLiteral("running");
        case State::Done:
            return QStringLiteral("done");
        case State::Cancelled:
            return QStringLiteral("cancelled");
    }
    return QString();
}

QString BatchReport::text(Status status) {
    switch (status) {
        case Status::Pending:
            return QStringLiteral("pending");
        case Status::Sent:
            return QStringLiteral("sent");
        case Status::Processing:
            return QStringLiteral("processing");
        case Status::Rebooting:
            return QStringLiteral("rebooting");
        case Status::Done:
            return QStringLiteral("done");
        case Status::Failed:
            return QStringLiteral("failed");
        case Status::Cancelled:
            return QStringLiteral("cancelled");
    }
    return QString();
}

bool BatchReport::isFinal(Status status) {
    return status == Status::Done || status == Status::Failed || status == Status::Cancelled;
}

void BatchReport::start(const QStringList& deviceIds) {
    m_hasJob = true;
    m_state = State::Running;
    m_startedTime = Clock::instance().currentDateTime();
    m_finishedTime = QDateTime();
    m_items.clear();
    for (const QString& id : deviceIds) {
        m_items.append(Item{id, Status::Pending, QString()});
    }
    BatchChanged event(BatchChanged::Part::Whole, QString(), toJson());
    notifyCache(&event);
}

void BatchReport::setItem(int index, Status status, const QString& message) {
    if (index < 0 || index >= m_items.size()) {
        return;
    }
    Item& item = m_items[index];
    if (item.status == status && item.message == message) {
        return;
    }
    item.status = status;
    item.message = message;
    BatchChanged event(BatchChanged::Part::Item, item.deviceId, itemJson(item));
    notifyCache(&event);
}

void BatchReport::finish(State state) {
    m_state = state;
    m_finishedTime = Clock::instance().currentDateTime();
    BatchChanged finished(BatchChanged::Part::Key, finishedKey, toJsonValue(m_finishedTime));
    notifyCache(&finished);
    BatchChanged ended(BatchChanged::Part::Key, stateKey, text(state));
    notifyCache(&ended);
}

QJsonValue BatchReport::itemJson(const Item& item) const {
    return QJsonObject{{QStringLiteral("deviceId"), item.deviceId},
                       {QStringLiteral("status"), text(item.status)},
                       {QStringLiteral("message"), item.message}};
}

QJsonValue BatchReport::toJson() const {
    if (!m_hasJob) {
        return QJsonValue(QJsonValue::Null);
    }
    QJsonArray items;
    for (const Item& item : m_items) {
        items.append(itemJson(item));
    }
    return QJsonObject{{stateKey, text(m_state)},
                       {QStringLiteral("startedTime"), toJsonValue(m_startedTime)},
                       {finishedKey, toJsonValue(m_finishedTime)},
                       {QStringLiteral("items"), items}};
}
