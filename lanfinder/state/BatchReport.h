#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVector>

#include "state/ICacheNotifier.h"

// What browsers see of the batch job: its state, when it started and ended,
// and one item per device in the order asked. The last job's report stays
// until the next job starts, so a page loaded afterwards still shows it.
// Every change reaches the state cache as a BatchChanged. Main thread only.
class BatchReport : public ICacheNotifier {
public:
    enum class State { Running, Done, Cancelled };
    enum class Status { Pending, Sent, Processing, Rebooting, Done, Failed, Cancelled };

    struct Item {
        QString deviceId;
        Status status = Status::Pending;
        // Why the item failed; empty otherwise.
        QString message;
    };

    static QString text(State state);
    static QString text(Status status);
    static bool isFinal(Status status);

    // Replaces the previous report with a running job of pending items,
    // stamped with the Clock.
    void start(const QStringList& deviceIds);
    // Changes one item; the same status and message again changes nothing.
    void setItem(int index, Status status, const QString& message = QString());
    // Ends the job, stamped with the Clock.
    void finish(State state);

    bool hasJob() const { return m_hasJob; }
    State state() const { return m_state; }
    const QVector<Item>& items() const { return m_items; }

    // null before the first job; otherwise {"state", "startedTime",
    // "finishedTime", "items": [{"deviceId", "status", "message"}]}.
    QJsonValue toJson() const;

private:
    QJsonValue itemJson(const Item& item) const;

    bool m_hasJob = false;
    State m_state = State::Done;
    QDateTime m_startedTime;
    QDateTime m_finishedTime;
    QVector<Item> m_items;
};
