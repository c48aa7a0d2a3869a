#pragma once

#include <QHash>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

#include "device/ConfigurationStep.h"
#include "state/BatchReport.h"
#include "state/WebGUIEvent.h"

// One batch of configuration changes: every item goes through the pre-flight
// checks first, then through the configuration flow of its device, at most
// maxInFlight at once, the next as soon as one ends. Every item ends in one
// final status in the report; the job ends when all have. Main thread only.
//
// The job owns its items' passwords and wipes each as soon as its item can
// no longer be sent.
class BatchJob {
public:
    // Devices restart for new network settings; more at once would cut the
    // user off from too large a part of the plant if something goes wrong.
    static constexpr int maxInFlight = 8;
    // Two items give the same fixed address.
    static const QString plannedTwice;

    // Tells the job the outcome of one item's pre-flight check: a refusal
    // text, or empty when the item may go. Call it once, at any time later;
    // a call after the job is gone does nothing.
    using Verdict = std::function<void(const QString& refusal)>;
    // Checks one item before anything is sent (the address checks of a
    // single change, say) and calls done with the verdict.
    using PreFlight = std::function<void(const SetConfigurationRequest& item, Verdict done)>;
    // Hands one item to the configuration flow of its device; its outcome
    // comes back through onStep().
    using Send = std::function<void(const SetConfigurationRequest& item)>;
    // Whether a device of that id is in the store.
    using Known = std::function<bool(const QString& deviceId)>;

    struct Environment {
        Send send;
        Known known;
        // Optional: without it every item passes.
        PreFlight preFlight;
    };

    // The report is not owned and must outlive the job.
    BatchJob(QVector<SetConfigurationRequest> items, BatchReport& report, Environment environment);
    ~BatchJob();
    BatchJob(const BatchJob&) = delete;
    BatchJob& operator=(const BatchJob&) = delete;

    // Starts the report and the pre-flight checks; sending follows when the
    // last verdict is in.
    void start();
    // Items not yet sent end "cancelled"; those sent finish.
    void cancel();
    // A step of one device's configuration request (EventProcessor).
    void onStep(const QString& deviceId, ConfigurationStep step, const QString& message);

    bool isRunning() const { return m_running; }
    // Items sent whose outcome is still open.
    int inFlight() const { return m_inFlight; }

private:
    using Status = BatchReport::Status;

    void checkPlannedTwice();
    void askPreFlight(int index);
    void onVerdict(int index, const QString& refusal);
    // Sends while there is room and an item waits; safe to reenter from a
    // send whose outcome comes back at once.
    void pump();
    void end(int index, Status status, const QString& message = QString());
    void finishIfDone();
    Status status(int index) const;

    QVector<SetConfigurationRequest> m_items;
    // Whether the item passed its pre-flight check (or has not had it yet).
    QVector<bool> m_verdictIn;
    BatchReport& m_report;
    Environment m_environment;
    QHash<QString, int> m_indexOf;
    int m_verdictsOpen = 0;
    int m_next = 0;
    int m_inFlight = 0;
    bool m_running = false;
    bool m_cancelled = false;
    bool m_pumping = false;
    // Verdicts that arrive after the job is gone find this expired.
    std::shared_ptr<BatchJob*> m_self;
};
