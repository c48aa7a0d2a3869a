#include "state/StateCache.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include <QDebug>
#include <QJsonDocument>
#include <QThread>

#include "state/AppNotification.h"
#include "state/CacheRegistry.h"
#include "state/Device.h"
#include "state/Event.h"

// What other threads share with the cache: a gate that closes when the cache
// is destroyed, and the full-state requests waiting for the main thread.
struct StateCache::FullStateRequests {
    struct Request {
        bool done = false;
        QByteArray bytes;
    };

    std::mutex mutex;
    std::condition_variable answered;
    bool closing = false;
    std::vector<std::shared_ptr<Request>> pending;

    // Caller holds the mutex.
    void fulfil(const std::shared_ptr<Request>& request, const QByteArray& bytes) {
        request->done = true;
        request->bytes = bytes;
        for (auto it = pending.begin(); it != pending.end(); ++it) {
            if (*it == request) {
                pending.erase(it);
                break;
            }
        }
        answered.notify_all();
    }
};

// Copies what an event carries, on the raiser's thread, into a recording that
// the main thread replays; the raiser frees the event after the call.
class StateCache::Snapshot : public IEventHandler {
public:
    using Recording = std::function<void(StateCache&)>;

    using IEventHandler::handle;

    void handle(const AppStateChanged& event) override {
        record = [key = event.key, value = event.value](StateCache& cache) {
            cache.recordApp(key, value);
        };
    }
    void handle(const AutoScannerChanged& event) override {
        record = [key = event.key, value = event.value](StateCache& cache) {
            cache.recordScanner(key, value);
        };
    }
    void handle(const DeviceChanged& event) override {
        record = [id = event.deviceId, key = event.key, value = event.value](StateCache& cache) {
            cache.recordChanged(id, key, value);
        };
    }
    void handle(const DeviceRemoved& event) override {
        record = [id = event.deviceId](StateCache& cache) { cache.recordRemoved(id); };
    }
    void handle(const DeviceAdded& event) override {
        if (!event.device) {
            return;
        }
        record = [id = event.device->id.get(), device = event.device->toJson().toObject()](
                     StateCache& cache) { cache.recordAdded(id, device); };
    }

    // Stays empty for kinds the cache does not handle.
    Recording record;
};

StateCache::StateCache(IStateProvider* provider, QObject* parent)
    : QObject(parent), m_provider(provider), m_requests(std::make_shared<FullStateRequests>()) {}

StateCache::~StateCache() {
    unregisterCache(this);
    // Release every worker still waiting for a full state: shutdown destroys
    // the cache before it stops the web server's threads, and the main thread
    // will not answer them any more.
    std::lock_guard<std::mutex> lock(m_requests->mutex);
    m_requests->closing = true;
    for (const auto& request : m_requests->pending) {
        request->done = true;
        request->bytes.clear();
    }
    m_requests->pending.clear();
    m_requests->answered.notify_all();
}

void StateCache::onEvent(Event* event) {
    if (!event) {
        return;
    }
    if (QThread::currentThread() == thread()) {
        event->accept(*this);
        afterEvent();
        return;
    }
    Snapshot snapshot;
    event->accept(snapshot);
    std::lock_guard<std::mutex> lock(m_requests->mutex);
    if (m_requests->closing) {
        return;
    }
    // Posted under the gate's lock, so the destructor cannot complete while
    // the post is under way. Events posted to one receiver keep their order.
    QMetaObject::invokeMethod(
        this,
        [this, record = std::move(snapshot.record)] {
            if (record) {
                record(*this);
            }
            afterEvent();
        },
        Qt::QueuedConnection);
}

void StateCache::setCoalescing(bool on) {
    if (m_coalescing && !on) {
        flush();
    }
    m_coalescing = on;
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
    if (m_pendingSince.isValid() && (m_pendingEntries >= coalesceMaxEntries ||
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
    const std::shared_ptr<FullStateRequests> requests = m_requests;
    auto request = std::make_shared<FullStateRequests::Request>();
    std::unique_lock<std::mutex> lock(requests->mutex);
    if (requests->closing) {
        return QByteArray();
    }
    requests->pending.push_back(request);
    QMetaObject::invokeMethod(
        this,
        [this, requests, request] {
            const QByteArray bytes = buildFullState();
            std::lock_guard<std::mutex> answerLock(requests->mutex);
            if (!request->done) {
                requests->fulfil(request, bytes);
            }
        },
        Qt::QueuedConnection);
    const bool answered = requests->answered.wait_for(
        lock, std::chrono::milliseconds(m_fullStateTimeoutMs), [&] { return request->done; });
    if (!answered) {
        requests->fulfil(request, QByteArray());
        qDebug() << "Full state request not answered by the main thread";
    }
    return request->bytes;
}

int StateCache::pendingFullStateRequests() const {
    std::lock_guard<std::mutex> lock(m_requests->mutex);
    return static_cast<int>(m_requests->pending.size());
}

void StateCache::setFullStateTimeout(int milliseconds) {
    m_fullStateTimeoutMs = milliseconds;
}

void StateCache::handle(const AppStateChanged& event) {
    recordApp(event.key, event.value);
}

void StateCache::handle(const AutoScannerChanged& event) {
    recordScanner(event.key, event.value);
}

void StateCache::handle(const DeviceChanged& event) {
    recordChanged(event.deviceId, event.key, event.value);
}

void StateCache::handle(const DeviceRemoved& event) {
    recordRemoved(event.deviceId);
}

void StateCache::handle(const DeviceAdded& event) {
    if (event.device) {
        recordAdded(event.device->id.get(), event.device->toJson().toObject());
    }
}

void StateCache::recordApp(const QString& key, const QJsonValue& value) {
    m_pendingApp.insert(key, value);
    qDebug() << "App state change: " << key << "=" << value;
}

void StateCache::recordScanner(const QString& key, const QJsonValue& value) {
    m_pendingScanner.insert(key, value);
}

void StateCache::recordChanged(const QString& deviceId, const QString& key,
                               const QJsonValue& value) {
    notePending();
    const auto added = m_coalescing ? m_addedIndex.constFind(deviceId) : m_addedIndex.cend();
    if (added != m_addedIndex.cend() && m_pendingAdded[added.value()].contains(key)) {
        // About thirty of these follow every new device during a scan.
        m_pendingAdded[added.value()].insert(key, value);
    } else {
        auto entry = m_pendingUpdated.find(deviceId);
        if (entry == m_pendingUpdated.end()) {
            entry = m_pendingUpdated.insert(deviceId, QJsonObject());
            ++m_pendingEntries;
        }
        entry->insert(key, value);
    }
    qDebug() << "Updated device: " << deviceId << key << "=" << value;
}

void StateCache::notePending() {
    if (!m_pendingSince.isValid()) {
        m_pendingSince.start();
    }
}

void StateCache::recordRemoved(const QString& deviceId) {
    notePending();
    // Only while coalescing can a diff hold earlier news of this device.
    m_pendingUpdated.remove(deviceId);
    if (m_addedIndex.remove(deviceId) > 0) {
        QVector<QJsonObject> kept;
        m_addedIndex.clear();
        for (const QJsonObject& device : qAsConst(m_pendingAdded)) {
            const QString id = device.value(QStringLiteral("id")).toString();
            if (id != deviceId) {
                m_addedIndex.insert(id, kept.size());
                kept.append(device);
            }
        }
        m_pendingAdded = kept;
    }
    if (!m_removedIds.contains(deviceId)) {
        m_removedIds.insert(deviceId);
        m_pendingRemoved.append(QJsonObject{{QStringLiteral("id"), deviceId}});
        ++m_pendingEntries;
    }
    qDebug() << "Removed device: " << deviceId;
}

void StateCache::recordAdded(const QString& deviceId, const QJsonObject& device) {
    if (m_coalescing && m_removedIds.contains(deviceId)) {
        // Removed and added again: browsers differ in the order they apply a
        // diff's "added" and "removed", so the two never share a diff.
        flush();
    }
    notePending();
    // The whole device supersedes changes made to it before.
    m_pendingUpdated.remove(deviceId);
    m_addedIndex.insert(deviceId, m_pendingAdded.size());
    m_pendingAdded.append(device);
    ++m_pendingEntries;
    qDebug() << "Added device: " << deviceId;
}

void StateCache::emitDiff() {
    const QByteArray diff = buildDiff();
    // Cleared before the emission: a receiver that raises another event at
    // once must not see this change again in its diff.
    clearPending();
    emit cacheUpdated(diff);
}

QByteArray StateCache::buildDiff() {
    QJsonObject document = m_pendingApp;
    if (!m_pendingScanner.isEmpty()) {
        document.insert(QStringLiteral("autoScanner"), m_pendingScanner);
    }
    QJsonObject devices;
    if (!m_pendingAdded.isEmpty()) {
        QJsonArray added;
        for (const QJsonObject& device : qAsConst(m_pendingAdded)) {
            added.append(device);
        }
        devices.insert(QStringLiteral("added"), added);
    }
    if (!m_pendingRemoved.isEmpty()) {
        devices.insert(QStringLiteral("removed"), m_pendingRemoved);
    }
    if (!m_pendingUpdated.isEmpty()) {
        QJsonArray updated;
        for (auto it = m_pendingUpdated.cbegin(); it != m_pendingUpdated.cend(); ++it) {
            QJsonObject entry = it.value();
            entry.insert(QStringLiteral("id"), it.key());
            updated.append(entry);
        }
        devices.insert(QStringLiteral("updated"), updated);
    }
    if (!devices.isEmpty()) {
        document.insert(QStringLiteral("devices"), devices);
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
    return QJsonDocument(m_provider->toJson().toObject()).toJson(QJsonDocument::Indented);
}

void StateCache::clearPending() {
    m_pendingApp = QJsonObject();
    m_pendingScanner = QJsonObject();
    m_pendingUpdated.clear();
    m_pendingAdded.clear();
    m_pendingRemoved = QJsonArray();
    m_addedIndex.clear();
    m_removedIds.clear();
    m_pendingEntries = 0;
    m_pendingSince.invalidate();
}
