#include "device/BatchJob.h"

#include <QDebug>

#include "device/ChangeCheck.h"
#include "device/SecretText.h"

const QString BatchJob::plannedTwice = QStringLiteral("Address planned twice");

namespace {

bool isFixed(const SetConfigurationRequest& item) {
    return item.networkMethod == sdk::system::network_method_type::PERSISTENT_IP;
}

}  // namespace

BatchJob::BatchJob(QVector<SetConfigurationRequest> items, BatchReport& report,
                   Environment environment)
    : m_items(std::move(items)),
      m_verdictIn(m_items.size(), false),
      m_report(report),
      m_environment(std::move(environment)),
      m_self(std::make_shared<BatchJob*>(this)) {
    for (int i = 0; i < m_items.size(); ++i) {
        m_indexOf.insert(m_items[i].deviceId, i);
    }
}

BatchJob::~BatchJob() {
    for (auto& item : m_items) {
        wipeText(item.password);
    }
}

BatchReport::Status BatchJob::status(int index) const {
    return m_report.items().value(index).status;
}

void BatchJob::start() {
    QStringList ids;
    for (const auto& item : m_items) {
        ids.append(item.deviceId);
    }
    m_running = true;
    m_report.start(ids);
    qDebug().noquote() << QStringLiteral("Batch of %1 change(s) started").arg(m_items.size());

    checkPlannedTwice();
    for (int i = 0; i < m_items.size(); ++i) {
        if (status(i) != Status::Pending) {
            continue;
        }
        if (!m_environment.known || !m_environment.known(m_items[i].deviceId)) {
            end(i, Status::Failed, ChangeCheck::deviceNotAvailable);
            continue;
        }
        ++m_verdictsOpen;
    }
    // Counted before any is asked: a check that answers at once must not
    // let the first items go before the last have been checked.
    for (int i = 0; i < m_items.size(); ++i) {
        if (status(i) == Status::Pending) {
            askPreFlight(i);
        }
    }
    pump();
}

void BatchJob::checkPlannedTwice() {
    QHash<QString, int> planned;
    for (const auto& item : m_items) {
        if (isFixed(item)) {
            ++planned[item.ip];
        }
    }
    for (int i = 0; i < m_items.size(); ++i) {
        if (isFixed(m_items[i]) && planned.value(m_items[i].ip) > 1) {
            end(i, Status::Failed, plannedTwice);
        }
    }
}

void BatchJob::askPreFlight(int index) {
    if (!m_environment.preFlight) {
        onVerdict(index, QString());
        return;
    }
    const std::weak_ptr<BatchJob*> self = m_self;
    auto answered = std::make_shared<bool>(false);
    m_environment.preFlight(m_items[index], [self, index, answered](const QString& refusal) {
        const auto job = self.lock();
        if (!job || *answered) {
            return;
        }
        *answered = true;
        (*job)->onVerdict(index, refusal);
    });
}

void BatchJob::onVerdict(int index, const QString& refusal) {
    --m_verdictsOpen;
    if (status(index) == Status::Pending) {
        if (refusal.isEmpty()) {
            m_verdictIn[index] = true;
        } else {
            end(index, Status::Failed, refusal);
        }
    }
    pump();
}

void BatchJob::pump() {
    if (m_pumping || !m_running) {
        return;
    }
    m_pumping = true;
    while (!m_cancelled && m_verdictsOpen == 0 && m_inFlight < maxInFlight &&
           m_next < m_items.size()) {
        const int index = m_next++;
        if (status(index) != Status::Pending || !m_verdictIn[index]) {
            continue;
        }
        ++m_inFlight;
        m_report.setItem(index, Status::Sent);
        SetConfigurationRequest& item = m_items[index];
        if (m_environment.send) {
            m_environment.send(item);
        }
        // The engine took a copy of its own.
        wipeText(item.password);
    }
    m_pumping = false;
    finishIfDone();
}

void BatchJob::onStep(const QString& deviceId, ConfigurationStep step, const QString& message) {
    const auto found = m_indexOf.constFind(deviceId);
    if (found == m_indexOf.constEnd()) {
        return;
    }
    const int index = *found;
    const Status now = status(index);
    // A step of a request this job did not send (the user changed the device
    // on its own meanwhile) or of one already ended says nothing about it.
    if (now != Status::Sent && now != Status::Processing && now != Status::Rebooting) {
        return;
    }
    switch (step) {
        case ConfigurationStep::Processing:
            m_report.setItem(index, Status::Processing);
            return;
        case ConfigurationStep::Rebooting:
            m_report.setItem(index, Status::Rebooting);
            return;
        case ConfigurationStep::Succeeded:
            end(index, Status::Done);
            break;
        case ConfigurationStep::Failed:
            end(index, Status::Failed, message);
            break;
    }
    pump();
}

void BatchJob::cancel() {
    if (!m_running || m_cancelled) {
        return;
    }
    m_cancelled = true;
    qDebug().noquote() << QStringLiteral("Batch cancelled");
    for (int i = 0; i < m_items.size(); ++i) {
        if (status(i) == Status::Pending) {
            end(i, Status::Cancelled);
        }
    }
    finishIfDone();
}

void BatchJob::end(int index, Status status, const QString& message) {
    const Status before = this->status(index);
    if (before == Status::Sent || before == Status::Processing || before == Status::Rebooting) {
        --m_inFlight;
    }
    wipeText(m_items[index].password);
    m_report.setItem(index, status, message);
}

void BatchJob::finishIfDone() {
    if (!m_running || m_pumping) {
        return;
    }
    for (const auto& item : m_report.items()) {
        if (!BatchReport::isFinal(item.status)) {
            return;
        }
    }
    m_running = false;
    m_report.finish(m_cancelled ? BatchReport::State::Cancelled : BatchReport::State::Done);
    qDebug().noquote() << QStringLiteral("Batch ended");
}
