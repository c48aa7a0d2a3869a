#pragma once

struct Event;
class StateCache;

// Mixed into the owners of state. notifyCache() hands an event to the
// registered state cache, or drops it when none is registered or it is gone.
// The cache only reads the event during the call, so the caller may free it
// as soon as the call returns. Safe from any thread.
class ICacheNotifier {
public:
    virtual ~ICacheNotifier() = default;
    virtual void notifyCache(Event* event);
};

// The process-wide state cache. Called with a cache it registers it (and
// returns it); called without one it returns the registered cache, or null
// when none was registered or it has been destroyed. Only the main thread
// may use the returned pointer; other threads go through notifyCache().
StateCache* cacheInstance(StateCache* cache = nullptr);
