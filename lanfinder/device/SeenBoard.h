#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <memory>
#include <shared_mutex>
#include <string>
#include <unordered_map>

struct SeenStamp;

// Which repeated answers a receive thread may take as seen only. Once an
// answer has left a device with nothing to do but lastSeen, every answer
// with the same repeat key from the same card would do the same: the main
// thread settles the device under that key, and from then on a receive
// thread notes the time in the device's stamp and hands nothing on. The
// device unsettles itself before anything about it changes, and the silence
// check unsettles a device before it calls it silent, so an answer is either
// noted in time or handed on as before.
class SeenBoard {
public:
    // Main thread: answers with `key` received on the card with address
    // `cardIp` are taken as seen for the device of `stamp` until it
    // unsettles. A key the stamp was settled under before is dropped.
    void settle(quint64 key, const QString& cardIp, const std::shared_ptr<SeenStamp>& stamp);
    // Main thread: nothing is taken any more (the cards changed).
    void clear();

    // Any thread: true when the answer was noted as seen at the monotonic
    // reading nowMs and needs no other handling.
    bool take(quint64 key, const std::string& cardIp, qint64 nowMs) const;

    std::size_t size() const;

private:
    struct Entry {
        std::string cardIp;
        std::shared_ptr<SeenStamp> stamp;
    };
    // Drops the entries whose stamps are no longer settled under their key.
    void sweep();

    mutable std::shared_mutex m_lock;
    std::unordered_map<quint64, Entry> m_entries;
    std::size_t m_settlesSinceSweep = 0;
};
