#pragma once

class StateCache;

// Internal to the state model: the cache withdraws its registration while it
// is destroyed, under the lock that cross-thread notifiers hold.
void unregisterCache(StateCache* cache);
