#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "beacon/discovery_response.h"
#include "keytable/key_table.h"

namespace dp {

// Where a datagram's request id text lies, [begin, end), when the datagram
// has exactly one "id" token, followed directly by `:"`, no backslash
// anywhere and an id of printable ASCII: only then is that token the
// document's id member and every other byte independent of the id's value.
struct id_span {
    std::size_t begin = 0;
    std::size_t end = 0;
};
bool find_plain_id(std::string_view datagram, id_span& out);
// The value of the first `"id":"` member, when it is printable ASCII without
// a backslash; nothing about the rest of the datagram is checked.
bool find_first_id(std::string_view datagram, id_span& out);

// A device answers every discovery request with the same text apart from the
// request id. Decoding is a pure function of the bytes, and the id's value
// changes nothing but the record's id, so a text seen before needs no
// decode to be known as a repeat: the memo numbers the texts it has seen,
// the id left out. One text per device (article and serial number) is kept,
// the newest; at most `capacity` devices, beyond which the memo starts
// afresh. Safe to use from several threads.
//
// A text is kept as its 128-bit fingerprint under a secret drawn for each
// memo, not as its bytes: reading a kept text back for the compare cost
// more than everything else a repeat does, and its memory was most of the
// memo's. Two different texts share a fingerprint with a chance of about
// 2^-128, and without the secret nobody can make one text look like
// another (a sender that wants to pass for a device can send that device's
// own text anyway).
class answer_memo {
public:
    explicit answer_memo(std::size_t capacity);

    // The number remember() gave a text equal to the datagram apart from its
    // id; 0 when there is none. A remembered text is first offered to `take`
    // (when given): if it takes the answer, `taken` is set. `take` runs under
    // the memo's shared lock, on the caller's thread, and must not call back
    // into the memo.
    std::uint64_t recall(std::string_view datagram,
                         const std::function<bool(std::uint64_t)>& take = {},
                         bool* taken = nullptr) const;
    // Remembers the text of a discovery answer decoded from the datagram;
    // records of other kinds, and texts whose id is not plainly readable, are
    // not kept (0). Returns the text's number: never 0, never given to
    // another text, by any memo of the process (a consumer may outlive the
    // engine instance it read from).
    std::uint64_t remember(std::string_view datagram, const event& record);

    std::size_t size() const;

private:
    // The fingerprint of a datagram's two pieces around its id text: the
    // key a text is remembered by.
    struct fingerprint {
        std::uint64_t low = 0;  // the table's key, never 0
        std::uint64_t high = 0;
    };
    // What is kept of a text under the low half of its fingerprint.
    struct kept_text {
        std::uint64_t high = 0;
        std::uint64_t number = 0;
    };
    // With `strict`, the id as find_plain_id finds it; else find_first_id.
    bool fingerprint_of(std::string_view datagram, id_span& span, fingerprint& out,
                        bool strict) const;
    // The text with this fingerprint; the lock is held.
    const kept_text* find(const fingerprint& key) const;

    const std::size_t capacity_;
    // The fingerprints' secret, drawn when the memo is made.
    std::array<unsigned char, 192> secret_{};
    mutable std::shared_mutex mutex_;
    // The texts' numbers by their fingerprints. A text whose low half
    // another text holds is not remembered (decoded every time).
    keytable::key_table<kept_text> records_;
    // Per device, the low half of its remembered text's fingerprint.
    std::unordered_map<std::string, std::uint64_t> text_of_device_;
};

}  // namespace dp
