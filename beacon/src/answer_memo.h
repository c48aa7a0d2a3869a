#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "beacon/discovery_response.h"

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

// A device answers every discovery request with the same text apart from the
// request id. Decoding is a pure function of the bytes, so the record of an
// answer whose text, the id left out, was decoded before is that record with
// the new id: a lookup instead of a parse. One text per device (article and
// serial number) is kept, the newest; at most `capacity` devices, beyond
// which the memo starts afresh. Safe to use from several threads.
class answer_memo {
public:
    explicit answer_memo(std::size_t capacity);

    // The record of the datagram if a text equal to it apart from the id was
    // remembered; empty otherwise. `text_number` is then the number that
    // remember() gave that text.
    std::unique_ptr<event> recall(std::string_view datagram, std::uint64_t* text_number = nullptr);
    // recall(), but a remembered text is first offered by its number to
    // `take`: when it takes the answer, no record is made (taken is set and
    // the result is empty). `take` runs under the memo's shared lock, on the
    // caller's thread, and must not call back into the memo.
    std::unique_ptr<event> recall(std::string_view datagram, std::uint64_t& text_number,
                                  const std::function<bool(std::uint64_t)>& take, bool& taken);
    // Remembers a record decoded from the datagram; records of other kinds,
    // and texts whose id is not plainly readable, are not kept (0). Returns
    // the text's number: never 0, never given to another text, by any memo of
    // the process (a consumer may outlive the engine instance it read from).
    std::uint64_t remember(std::string_view datagram, const event& record);

    std::size_t size() const;

private:
    // A datagram seen as the two pieces around its id text: the key a text
    // is remembered by, read in place, without a copy.
    struct pieces {
        std::string_view before;
        std::string_view after;
        std::size_t hash = 0;
    };
    static bool pieces_of(std::string_view datagram, id_span& span, pieces& out);
    struct remembered {
        std::string key;  // the text without its id
        std::unique_ptr<const discovery_response> record;
        std::uint64_t number = 0;
    };
    // The entry whose key is these pieces; the lock is held.
    const remembered* find(const pieces& key) const;

    const std::size_t capacity_;
    mutable std::shared_mutex mutex_;
    // By the hash of the key: lookups compare the pieces in place. A text
    // whose hash another text holds is not remembered (decoded every time).
    std::unordered_map<std::size_t, remembered> records_;
    // Per device, the hash of its remembered text.
    std::unordered_map<std::string, std::size_t> hash_of_device_;
};

}  // namespace dp
