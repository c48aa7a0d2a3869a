#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dp {

// Texts kept as the runs they share with a model text and the bytes of their
// own. The answers of a fleet are one outline with different values (serial
// number, addresses, name): a text kept whole is some 0.7 KB read from
// memory gone cold for every compare, where its own bytes and its runs are a
// few lines and the model, shared by thousands, stays in the caches.
//
// A text is cut after each quote, so that with no backslash in it (the memo
// keeps no other) every member name and value is a piece of its own; a text
// with as many pieces as a model keeps the model's pieces where they are the
// same. Not thread-safe: the memo's lock guards it.
class delta_texts {
public:
    static constexpr std::size_t most_models = 64;

    // One text, a pointer wide: its block holds the caller's tag, the
    // text's size, its runs and then its own bytes, so a table of texts stays small enough to
    // outlast a second in the caches.
    struct text {
        std::unique_ptr<char[]> block;
    };

    // The text the two pieces make when put together, with a tag of the
    // caller's (never read here).
    text keep(std::string_view before, std::string_view after, std::uint64_t tag);
    static std::uint64_t tag_of(const text& kept);
    // Whether the two pieces put together are exactly the text.
    bool equals(const text& kept, std::string_view before, std::string_view after) const;
    // The text as kept, whole (for tests and checks).
    std::string whole(const text& kept) const;
    // Forgets every model; every text kept before must be gone.
    void clear();

    std::size_t models() const { return models_.size(); }

private:
    struct header {
        std::uint64_t tag = 0;
        std::uint32_t size = 0;
        std::uint16_t runs = 0;
        std::uint16_t model = 0;
    };
    static header header_of(const text& kept);

    // A run of `length` bytes: the model's from `from`, or (own) the next of
    // the text's own bytes.
    struct run {
        static constexpr std::uint32_t own = UINT32_MAX;
        std::uint32_t from = own;
        std::uint32_t length = 0;
    };
    struct model {
        std::string text;
        std::vector<std::uint32_t> cuts;  // where each piece ends
    };

    static std::vector<std::uint32_t> cuts_of(std::string_view text);
    // Whether piece i of `whole`, from `start` to cuts[i], is the model's
    // piece i, which starts at `model_start`.
    static bool same_piece(const model& with, std::string_view whole,
                           const std::vector<std::uint32_t>& cuts, std::size_t i, std::size_t start,
                           std::size_t model_start);

    std::vector<model> models_;
};

}  // namespace dp
