#pragma once

#include <functional>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// What has changed since the last diff, coalesced, until the state cache
// writes it out and clears it. No event loop, thread or clock: the cache
// decides when a diff goes out; this decides what it holds.
//
// Free of Qt so that its rules are tested on their own; the cache uses it
// with Id = QString and Object = QJsonObject. Object needs contains(key) and
// insert(key, value), Id needs <, == and std::hash.
//
// The rules:
// - application and scanner keys: a later value replaces an earlier one;
// - a change of a device goes into its "updated" entry (one per device, in
//   ascending order of id), a later value of a key in place of an earlier one;
//   with coalescing on, a change of a key that the device's object of this
//   diff has goes into that object instead;
// - an addition supersedes the device's earlier changes; added devices keep
//   the order of their addition;
// - a removal drops the device's pending changes and every addition of it
//   in this diff, and is listed once, in the order of the first removal;
// - wasRemoved() lets the cache send a removal before the same device is
//   added again (the two never share a diff while coalescing).
// Every operation is constant time on average, apart from std::map's
// logarithm for "updated", so a large scan or a lab that drops at once is
// linear overall.
template <class Id, class Object>
class PendingDiff {
public:
    void setCoalescing(bool on) { m_coalescing = on; }

    template <class Key, class Value>
    void setApp(const Key& key, const Value& value) {
        m_app.insert(key, value);
    }
    template <class Key, class Value>
    void setScanner(const Key& key, const Value& value) {
        m_scanner.insert(key, value);
    }
    template <class Key, class Value>
    void change(const Id& deviceId, const Key& key, const Value& value);
    void remove(const Id& deviceId);
    void add(const Id& deviceId, const Object& device);

    bool wasRemoved(const Id& deviceId) const { return m_removedIds.count(deviceId) > 0; }
    // Device entries ("added", "updated" and "removed" together) recorded
    // since the last clear(); an entry dropped again still counts.
    int entries() const { return m_entries; }

    const Object& app() const { return m_app; }
    const Object& scanner() const { return m_scanner; }
    bool hasAdded() const { return m_liveAdded > 0; }
    // Calls visit(const Object&) for every added device, in order.
    template <class Visit>
    void forEachAdded(Visit visit) const;
    const std::vector<Id>& removed() const { return m_removed; }
    const std::map<Id, Object>& updated() const { return m_updated; }

    void clear();

private:
    struct Added {
        Object device;
        // The slot of an earlier addition of the same device in this diff,
        // or -1: a removal drops them all without a search.
        int previous;
        bool live;
    };

    bool m_coalescing = false;
    Object m_app;
    Object m_scanner;
    std::map<Id, Object> m_updated;
    // Removed devices leave their slot dead rather than moving every later
    // one: thousands of removals in one diff stay linear.
    std::vector<Added> m_added;
    // Each device's last slot in m_added.
    std::unordered_map<Id, int> m_lastAdded;
    int m_liveAdded = 0;
    std::vector<Id> m_removed;
    std::unordered_set<Id> m_removedIds;
    int m_entries = 0;
};

template <class Id, class Object>
template <class Key, class Value>
void PendingDiff<Id, Object>::change(const Id& deviceId, const Key& key, const Value& value) {
    if (m_coalescing) {
        const auto added = m_lastAdded.find(deviceId);
        if (added != m_lastAdded.end() && m_added[added->second].device.contains(key)) {
            // About thirty of these follow every new device during a scan.
            m_added[added->second].device.insert(key, value);
            return;
        }
    }
    auto entry = m_updated.find(deviceId);
    if (entry == m_updated.end()) {
        entry = m_updated.emplace(deviceId, Object()).first;
        ++m_entries;
    }
    entry->second.insert(key, value);
}

template <class Id, class Object>
void PendingDiff<Id, Object>::remove(const Id& deviceId) {
    m_updated.erase(deviceId);
    const auto added = m_lastAdded.find(deviceId);
    if (added != m_lastAdded.end()) {
        for (int slot = added->second; slot >= 0; slot = m_added[slot].previous) {
            if (m_added[slot].live) {
                m_added[slot].live = false;
                m_added[slot].device = Object();
                --m_liveAdded;
            }
        }
        m_lastAdded.erase(added);
    }
    if (m_removedIds.insert(deviceId).second) {
        m_removed.push_back(deviceId);
        ++m_entries;
    }
}

template <class Id, class Object>
void PendingDiff<Id, Object>::add(const Id& deviceId, const Object& device) {
    m_updated.erase(deviceId);
    const int slot = static_cast<int>(m_added.size());
    const auto last = m_lastAdded.find(deviceId);
    const int previous = last == m_lastAdded.end() ? -1 : last->second;
    m_added.push_back(Added{device, previous, true});
    m_lastAdded[deviceId] = slot;
    ++m_liveAdded;
    ++m_entries;
}

template <class Id, class Object>
template <class Visit>
void PendingDiff<Id, Object>::forEachAdded(Visit visit) const {
    for (const Added& added : m_added) {
        if (added.live) {
            visit(added.device);
        }
    }
}

template <class Id, class Object>
void PendingDiff<Id, Object>::clear() {
    m_app = Object();
    m_scanner = Object();
    m_updated.clear();
    m_added.clear();
    m_lastAdded.clear();
    m_liveAdded = 0;
    m_removed.clear();
    m_removedIds.clear();
    m_entries = 0;
}
