#include "state/StateCache.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

#include "state/AppNotification.h"
#include "state/CacheChange.h"
#include "state/CacheRegistry.h"
#include "state/Event.h"
#include "state/FullStateRendezvous.h"

StateCache::StateCache(IStateProvider* provider, QObject* parent)
    : QObject(parent),
      m_provider(provider),
      m_rendezvous(std::make_shared<FullStateRendezvous>()) {}

StateCache::~StateCache() {
    unregisterCache(this);
    m_rendezvous->close();
}

void StateCache::onEvent(Event* event) {
    if (!event) {
        return;
    }
    CacheChange change = CacheChange::of(*event);
    if (QThread::currentThread() == thread()) {
        record(change);
        afterEvent();
        return;
    }
    // Posted while the gate is open, so the destructor cannot complete while
    // the post is under way. Events posted to one receiver keep their order.
    m_rendezvous->whileOpen([&] {
        QMetaObject::invokeMethod(
            this,
            [this, change = std::move(change)] {
                record(change);
                afterEvent();
            },
            Qt::QueuedConnection);
    });
}

void StateCache::setCoalescing(bool on) {
    if (m_coalescing && !on) {
        flush();
    }
    m_coalescing = on;
    m_pending.setCoalescing(on);
}

bool StateCache::isCoalescing() const {
    return m_coalescing;
}

void StateCache::setCoalesceMaxAge(int milliseconds) {
    m_coalesceMaxAgeMs = milliseconds;
}

void StateCache::afterEvent() {
    if (!m_coalescing) {
        emitDiff();
        return;
    }
    if (m_pendingSince.isValid() && (m_pending.entries() >= coalesceMaxEntries ||
                                     m_pendingSince.elapsed() >= m_coalesceMaxAgeMs)) {
        flush();
        return;
    }
    if (!m_flushPosted) {
        m_flushPosted = true;
        // Behind everything already queued for the main thread, so the work
        // of this turn (a batch of answers, say) ends up in one diff.
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_flushPosted = false;
                flush();
            },
            Qt::QueuedConnection);
    }
}

void StateCache::flush() {
    const QByteArray diff = buildDiff();
    clearPending();
    if (!diff.isEmpty()) {
        emit cacheUpdated(diff);
    }
}

QByteArray StateCache::onFullStateRequested() {
    if (QThread::currentThread() == thread()) {
        return buildFullState();
    }
    // A copy: the cache may be destroyed while this thread waits.
    const std::shared_ptr<FullStateRendezvous> rendezvous = m_rendezvous;
    return rendezvous->ask(
        [this](FullStateRendezvous::Answer answer) {
            QMetaObject::invokeMethod(
                this, [this, answer = std::move(answer)] { answer(buildFullState()); },
                Qt::QueuedConnection);
        },
        m_fullStateTimeoutMs);
}

int StateCache::pendingFullStateRequests() const {
    return m_rendezvous->waiting();
}

void StateCache::setFullStateTimeout(int milliseconds) {
    m_fullStateTimeoutMs = milliseconds;
}

void StateCache::handle(const AppStateChanged& event) {
    record(CacheChange::of(event));
}

void StateCache::handle(const AutoScannerChanged& event) {
    record(CacheChange::of(event));
}

void StateCache::handle(const DeviceChanged& event) {
    record(CacheChange::of(event));
}

void StateCache::handle(const DeviceRemoved& event) {
    record(CacheChange::of(event));
}

void StateCache::handle(const DeviceAdded& event) {
    record(CacheChange::of(event));
}

void StateCache::handle(const BatchChanged& event) {
    record(CacheChange::of(event));
}

void StateCache::record(const CacheChange& change) {
    switch (change.kind) {
        case CacheChange::Kind::None:
            break;
        case CacheChange::Kind::App:
            m_pending.setApp(change.key, change.value);
            qDebug() << "App state change: " << change.key << "=" << change.value;
            break;
        case CacheChange::Kind::Scanner:
            m_pending.setScanner(change.key, change.value);
            break;
        case CacheChange::Kind::DeviceChanged:
            notePending();
            m_pending.change(change.deviceId, change.key, change.value);
            qDebug() << "Updated device: " << change.deviceId << change.key << "=" << change.value;
            break;
        case CacheChange::Kind::DeviceRemoved:
            notePending();
            m_pending.remove(change.deviceId);
            qDebug() << "Removed device: " << change.deviceId;
            break;
        case CacheChange::Kind::DeviceAdded:
            if (m_coalescing && m_pending.wasRemoved(change.deviceId)) {
                // Removed and added again: browsers differ in the order they
                // apply a diff's "added" and "removed", so the two never share
                // a diff.
                flush();
            }
            notePending();
            m_pending.add(change.deviceId, change.device);
            qDebug() << "Added device: " << change.deviceId;
            break;
        case CacheChange::Kind::BatchWhole:
            notePending();
            m_batch.replace(change.value);
            break;
        case CacheChange::Kind::BatchKey:
            notePending();
            m_batch.set(change.key, change.value);
            break;
        case CacheChange::Kind::BatchItem:
            notePending();
            m_batch.setItem(change.value.toObject());
            break;
    }
}

void StateCache::notePending() {
    if (!m_pendingSince.isValid()) {
        m_pendingSince.start();
    }
}

void StateCache::emitDiff() {
    const QByteArray diff = buildDiff();
    // Cleared before the emission: a receiver that raises another event at
    // once must not see this change again in its diff.
    clearPending();
    emit cacheUpdated(diff);
}

QByteArray StateCache::buildDiff() {
    QJsonObject document = m_pending.app();
    if (!m_pending.scanner().isEmpty()) {
        document.insert(QStringLiteral("autoScanner"), m_pending.scanner());
    }
    QJsonObject devices;
    if (m_pending.hasAdded()) {
        QJsonArray added;
        m_pending.forEachAdded([&added](const QJsonObject& device) { added.append(device); });
        devices.insert(QStringLiteral("added"), added);
    }
    if (!m_pending.removed().empty()) {
        QJsonArray removed;
        for (const QString& id : m_pending.removed()) {
            removed.append(QJsonObject{{QStringLiteral("id"), id}});
        }
        devices.insert(QStringLiteral("removed"), removed);
    }
    if (!m_pending.updated().empty()) {
        QJsonArray updated;
        for (const auto& [id, changes] : m_pending.updated()) {
            QJsonObject entry = changes;
            entry.insert(QStringLiteral("id"), id);
            updated.append(entry);
        }
        devices.insert(QStringLiteral("updated"), updated);
    }
    if (!devices.isEmpty()) {
        document.insert(QStringLiteral("devices"), devices);
    }
    if (!m_batch.isEmpty()) {
        document.insert(QStringLiteral("batch"), m_batch.toJson());
    }
    if (m_provider) {
        const auto notifications = m_provider->takeNotifications();
        if (!notifications.isEmpty()) {
            QJsonArray array;
            for (const auto& notification : notifications) {
                array.append(notification->toJson());
            }
            document.insert(QStringLiteral("notifications"), array);
        }
    }
    if (document.isEmpty()) {
        return QByteArray();
    }
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QByteArray StateCache::buildFullState() {
    // Changes still waiting for the end of the turn go to the other browsers
    // first; the new one gets them again inside the full state, which does no
    // harm: each diff sets values, adds or removes whole devices.
    if (m_coalescing) {
        flush();
    }
    clearPending();
    if (!m_provider) {
        return QByteArray();
    }
    return m_provider->fullStateText();
}

void StateCache::clearPending() {
    m_pending.clear();
    m_batch.clear();
    m_pendingSince.invalidate();
}
