#pragma once

#include <QObject>
#include <QSharedPointer>
#include <QVector>

#include "state/Event.h"

// A periodic check of the network's devices; every event its workers
// produce is emitted through raiseEvent.
class INetworkMonitor : public QObject {
    Q_OBJECT
public:
    // One check run on every tick; null when there is nothing to report.
    struct IMonitorWorker {
        virtual ~IMonitorWorker() = default;
        virtual QSharedPointer<Event> check() = 0;
    };

    using QObject::QObject;

    virtual void setEnabled(bool on) = 0;
    virtual bool isEnabled() const = 0;

    void addWorker(QSharedPointer<IMonitorWorker> worker) { m_workers.append(std::move(worker)); }

public slots:
    // Runs the workers in order and emits each event they return.
    virtual void onTimeout();

signals:
    void raiseEvent(QSharedPointer<Event> event);

protected:
    QVector<QSharedPointer<IMonitorWorker>> m_workers;
};
