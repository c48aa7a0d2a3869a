#pragma once

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <cstddef>
#include <limits>
#include <shared_mutex>
#include <string>
#include <vector>

#include "keytable/key_table.h"

// Which repeated answers a receive thread may take as seen only. Once an
// answer has left a device with nothing to do but lastSeen, every answer
// with the same repeat key from the same card would do the same: the device
// settles under that key (Device::settle), and from then on a receive thread
// notes the answer's time in the key's entry and hands nothing on. The entry
// and the short list of cards are all such an answer touches. The device
// releases its key before anything about it changes, and the silence check
// releases it before it calls a device silent: an answer is either noted in
// the entry, whose time the release hands to the device, or handed on as
// before.
//
// take() runs on any thread; everything else on the one thread that owns
// the devices (the main thread). Only that thread changes the table, so its
// own reads need no lock.
class SeenBoard {
public:
    static constexpr qint64 never = std::numeric_limits<qint64>::min();

    // Answers with `key` received on the card with address `cardIp` are
    // taken as seen until the key is released. Settling a key again keeps
    // the time noted under it. The board names at most 255 cards until they
    // change; a key received on one more is not settled.
    void settle(quint64 key, const QString& cardIp);
    // Nothing more is taken under `key`; returns the newest answer noted
    // under it (never: none) and forgets the key.
    qint64 release(quint64 key);
    // The newest answer noted under `key`, never when none.
    qint64 takenMs(quint64 key) const;
    // Nothing is taken any more (the cards changed); the times noted stay
    // until their devices release them.
    void stopTaking();

    // Any thread: true when the answer was noted as seen at the monotonic
    // reading nowMs and needs no other handling.
    bool take(quint64 key, const std::string& cardIp, qint64 nowMs) const;

    std::size_t size() const;

private:
    // 16 bytes with its key, four entries to a cache line: an entry is read
    // about once a second (its device's answer), and the smaller the board
    // the likelier its line is still in the caches by then.
    // The word holds the newest time noted (plus one; 0 for none) above
    // the card's number in m_cards (plus one; 0 takes nothing).
    struct Entry {
        Entry() = default;
        // Entries move only under the exclusive lock, while no receive
        // thread reads them.
        Entry(Entry&& other) noexcept { *this = std::move(other); }
        Entry& operator=(Entry&& other) noexcept;

        mutable std::atomic<quint64> word{0};
    };
    static constexpr int cardBits = 8;
    static constexpr quint64 cardMask = (quint64{1} << cardBits) - 1;
    static qint64 timeOf(quint64 word);

    mutable std::shared_mutex m_lock;
    keytable::key_table<Entry> m_entries;
    // The cards' addresses the settled keys were received on.
    std::vector<std::string> m_cards;
};
