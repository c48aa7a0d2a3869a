#pragma once

// A map from nonzero 64-bit keys to values, laid out flat: open addressing
// with linear probing, at most half full. A lookup reads one slot, usually
// one cache line, where a node-based map follows three pointers (bucket,
// the node before, the node), each a cache miss once the table holds tens
// of thousands of entries; that was most of the time of a repeated answer
// on a receive thread. Not thread-safe: callers lock.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace keytable {

template <typename Value>
class key_table {
public:
    // The value stored under key, or nullptr. Key 0 is never stored.
    Value* find(std::uint64_t key) { return const_cast<Value*>(std::as_const(*this).find(key)); }
    const Value* find(std::uint64_t key) const {
        if (key == 0 || slots_.empty()) {
            return nullptr;
        }
        for (std::size_t i = home(key);; i = next(i)) {
            const slot& at = slots_[i];
            if (at.key == key) {
                return &at.value;
            }
            if (at.key == 0) {
                return nullptr;
            }
        }
    }

    // The value under key, made (value-initialised) when there was none;
    // the flag says whether it was made. Pointers into the table stay valid
    // until the next insert or erase.
    std::pair<Value*, bool> insert(std::uint64_t key) {
        if (Value* known = find(key)) {
            return {known, false};
        }
        if ((used_ + 1) * 2 > slots_.size()) {
            grow();
        }
        std::size_t i = home(key);
        while (slots_[i].key != 0) {
            i = next(i);
        }
        slots_[i].key = key;
        ++used_;
        return {&slots_[i].value, true};
    }

    bool erase(std::uint64_t key) {
        if (key == 0 || slots_.empty()) {
            return false;
        }
        for (std::size_t i = home(key); slots_[i].key != 0; i = next(i)) {
            if (slots_[i].key == key) {
                erase_at(i);
                return true;
            }
        }
        return false;
    }

    // Erases every entry for which drop(key, value) is true.
    template <typename Predicate>
    void erase_if(Predicate drop) {
        std::vector<slot> kept;
        kept.swap(slots_);
        used_ = 0;
        bits_ = 0;
        for (slot& at : kept) {
            if (at.key != 0 && !drop(at.key, at.value)) {
                *insert(at.key).first = std::move(at.value);
            }
        }
    }

    // Calls visit(key, value) for every entry.
    template <typename Visitor>
    void for_each(Visitor visit) {
        for (slot& at : slots_) {
            if (at.key != 0) {
                visit(at.key, at.value);
            }
        }
    }

    void clear() {
        slots_.clear();
        used_ = 0;
        bits_ = 0;
    }

    std::size_t size() const { return used_; }

private:
    struct slot {
        std::uint64_t key = 0;
        Value value{};
    };

    // Fibonacci hashing: the top bits of key times 2^64/phi, so that keys
    // counted up one by one and hashes alike spread over the whole table.
    std::size_t home(std::uint64_t key) const {
        return static_cast<std::size_t>((key * 0x9e3779b97f4a7c15ULL) >> (64 - bits_));
    }
    std::size_t next(std::size_t i) const { return (i + 1) & (slots_.size() - 1); }

    void grow() {
        std::vector<slot> old;
        old.swap(slots_);
        bits_ = bits_ == 0 ? 4 : bits_ + 1;
        slots_.resize(std::size_t{1} << bits_);
        used_ = 0;
        for (slot& at : old) {
            if (at.key != 0) {
                *insert(at.key).first = std::move(at.value);
            }
        }
    }

    // Backward-shift deletion: the entries after the hole that may live
    // there move up, so no lookup ever stops at a gap its key lies beyond.
    void erase_at(std::size_t hole) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = next(hole); slots_[i].key != 0; i = next(i)) {
            const std::size_t from_home = (i - home(slots_[i].key)) & mask;
            if (from_home >= ((i - hole) & mask)) {
                slots_[hole] = std::move(slots_[i]);
                hole = i;
            }
        }
        slots_[hole] = slot{};
        --used_;
    }

    std::vector<slot> slots_;
    std::size_t used_ = 0;
    unsigned bits_ = 0;
};

}  // namespace keytable
