#include "state/ICacheNotifier.h"

#include <mutex>

#include <QPointer>
#include <QThread>

#include "state/CacheRegistry.h"
#include "state/StateCache.h"

namespace {

struct Registry {
    std::mutex mutex;
    QPointer<StateCache> cache;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

void ICacheNotifier::notifyCache(Event* event) {
    Registry& reg = registry();
    std::unique_lock<std::mutex> lock(reg.mutex);
    StateCache* cache = reg.cache.data();
    if (!cache) {
        return;
    }
    if (cache->thread() == QThread::currentThread()) {
        // The cache can only be destroyed on this same thread, and handling
        // the event may raise further events: no lock held.
        lock.unlock();
        cache->onEvent(event);
        return;
    }
    // Held across the call so the cache cannot be destroyed under it; the
    // call only copies the event and queues it, it never waits for the
    // cache's thread.
    cache->onEvent(event);
}

StateCache* cacheInstance(StateCache* cache) {
    Registry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    if (cache) {
        reg.cache = cache;
    }
    return reg.cache.data();
}

void unregisterCache(StateCache* cache) {
    Registry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    if (reg.cache.data() == cache) {
        reg.cache.clear();
    }
}
