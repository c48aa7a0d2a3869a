#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
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
    // Remembers a record decoded from the datagram; records of other kinds,
    // and texts whose id is not plainly readable, are not kept (0). Returns
    // the text's number: never 0, never given to another text, by any memo of
    // the process (a consumer may outlive the engine instance it read from).
    std::uint64_t remember(std::string_view datagram, const event& record);

    std::size_t size() const;

private:
    // The datagram without its id text; empty when find_plain_id fails.
    static std::string key_of(std::string_view datagram, id_span& span);

    const std::size_t capacity_;
    mutable std::mutex mutex_;
    struct remembered {
        std::unique_ptr<const discovery_response> record;
        std::uint64_t number = 0;
    };
    std::unordered_map<std::string, remembered> records_;
    // Per device, the key of its remembered text; points into records_'
    // keys, which stay put until their entry is erased.
    std::unordered_map<std::string, const std::string*> key_of_device_;
};

}  // namespace dp
