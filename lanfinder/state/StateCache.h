#pragma once

#include <atomic>
#include <memory>

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include "state/IEventHandler.h"
#include "state/IStateProvider.h"
#include "state/PendingBatch.h"
#include "state/PendingDiff.h"

struct CacheChange;
class FullStateRendezvous;

// Turns state-change events into JSON diff documents for the browsers and
// builds the full state document on request.
//
// Threads: the cache belongs to the thread that created it (the main thread),
// where the state model lives. Calls from that thread are handled at once.
// A call from another thread is carried onto the main thread:
// - onEvent() copies what the event carries (a DeviceAdded's device is
//   serialised on the caller's thread, which owns it during the call) and
//   queues it, never waiting for the main thread, so a thread that the main
//   thread joins cannot deadlock; queued events keep their order;
// - onFullStateRequested() waits for the main thread to build the document.
//   The wait ends with empty bytes when the cache is destroyed (shutdown
//   destroys it before it stops the web server's threads) or after
//   fullStateTimeoutMs, so a worker never waits forever (FullStateRendezvous).
// Together every onEvent() and onFullStateRequested() runs on the main thread,
// never overlapping another or a change of the state model.
//
// Coalescing (off unless switched on): a large scan changes about thirty
// properties of every new device, and a diff per change floods the browsers.
// With coalescing on, the changes of one turn of the main thread's event
// loop go out together as one diff, emitted from the event loop right after
// the work that made them: several keys of one device in one "updated" entry,
// several devices in one diff, a later value of a key in place of an earlier
// one; a change of a device added in the same diff is written into its
// "added" object when the object has that key (PendingDiff). A device's "updated" entry only ever
// follows its "added" one, and a diff never holds both "added" and "removed" for one device (a
// device removed and added again goes out in two diffs; one added and removed again only as
// removed), so the diff means the same in whatever order a browser applies its parts. Callers from
// other threads must call the object directly (or through a direct connection), not through a
// blocking queued connection.
class StateCache : public QObject, public IEventHandler {
    Q_OBJECT

public:
    static constexpr int fullStateTimeoutMs = 30000;
    // While coalescing, a long turn (a large scan's backlog) still sends its
    // changes this often, and never more than this many device entries
    // ("added", "updated" and "removed" together) in one diff.
    static constexpr int coalesceMaxAgeMs = 100;
    static constexpr int coalesceMaxEntries = 1000;

    explicit StateCache(IStateProvider* provider, QObject* parent = nullptr);
    ~StateCache() override;

    void onEvent(Event* event) override;

    using IEventHandler::handle;

    // Switches coalescing on or off; off, every onEvent() emits its own diff.
    void setCoalescing(bool on);
    bool isCoalescing() const;
    // The age after which a long turn's changes go out (coalesceMaxAgeMs
    // unless set): tests that count diffs must not depend on the machine's
    // speed.
    void setCoalesceMaxAge(int milliseconds);

    // Emits what is pending now (notifications included) as one diff;
    // nothing pending emits nothing.
    void flush();

    // Full-state requests of other threads still waiting for an answer.
    int pendingFullStateRequests() const;
    // How long another thread waits for the full state (fullStateTimeoutMs
    // unless changed).
    void setFullStateTimeout(int milliseconds);

    void handle(const AppStateChanged& event) override;
    void handle(const AutoScannerChanged& event) override;
    void handle(const DeviceChanged& event) override;
    void handle(const DeviceRemoved& event) override;
    void handle(const DeviceAdded& event) override;
    void handle(const BatchChanged& event) override;

signals:
    // One per onEvent(), in order; empty bytes when nothing changed.
    void cacheUpdated(QByteArray diff);

public slots:
    // The full state as indented JSON, without notifications.
    QByteArray onFullStateRequested();

private:
    // Every kind, on the main thread: one diff's worth of changes.
    void record(const CacheChange& change);
    void notePending();

    // Builds and emits the diff of what is pending, then clears it.
    void emitDiff();
    // After an event: emits at once, or (coalescing) once the turn is over.
    void afterEvent();
    QByteArray buildDiff();
    QByteArray buildFullState();
    void clearPending();

    PendingDiff<QString, QJsonObject> m_pending;
    PendingBatch m_batch;
    // Since when device changes have been pending, for coalescing.
    QElapsedTimer m_pendingSince;
    bool m_coalescing = false;
    int m_coalesceMaxAgeMs = coalesceMaxAgeMs;
    bool m_flushPosted = false;
    IStateProvider* m_provider;
    std::atomic<int> m_fullStateTimeoutMs{fullStateTimeoutMs};
    std::shared_ptr<FullStateRendezvous> m_rendezvous;
};
