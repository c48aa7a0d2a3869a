#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <unordered_map>

#include "keytable/key_table.h"

namespace {

// The table against std::unordered_map under inserts, erases and sweeps that
// make long probe runs (keys counted up and random ones mixed, the table
// kept near its fill limit), so a lookup stopping at a gap its key lies
// beyond, or a shift that moves an entry out of reach, shows as a lost key.
TEST(KeyTable, KeepsWhatAMapKeepsThroughInsertsErasesAndSweeps) {
    std::mt19937_64 random(20261209);
    keytable::key_table<std::uint64_t> table;
    std::unordered_map<std::uint64_t, std::uint64_t> expected;
    const auto agree = [&](std::uint64_t probes) {
        ASSERT_EQ(table.size(), expected.size());
        for (const auto& [key, value] : expected) {
            const std::uint64_t* found = table.find(key);
            ASSERT_NE(found, nullptr) << key;
            ASSERT_EQ(*found, value);
        }
        for (std::uint64_t i = 0; i < probes; ++i) {
            const std::uint64_t key = random() % 5000 + 1;
            ASSERT_EQ(table.find(key) != nullptr, expected.count(key) != 0) << key;
        }
    };
    for (int round = 0; round < 40; ++round) {
        for (int i = 0; i < 300; ++i) {
            const std::uint64_t key = (round % 2 == 0) ? round * 100 + i + 1 : random() % 5000 + 1;
            const auto [value, made] = table.insert(key);
            EXPECT_EQ(made, expected.count(key) == 0);
            *value = key * 3;
            expected[key] = key * 3;
        }
        for (int i = 0; i < 200; ++i) {
            const std::uint64_t key = random() % 5000 + 1;
            EXPECT_EQ(table.erase(key), expected.erase(key) == 1) << key;
        }
        agree(500);
        if (round % 10 == 9) {
            table.erase_if([](std::uint64_t key, std::uint64_t) { return key % 3 == 0; });
            for (auto at = expected.begin(); at != expected.end();) {
                at = at->first % 3 == 0 ? expected.erase(at) : std::next(at);
            }
            agree(500);
        }
    }
    // Key 0 marks an empty slot and is never found.
    EXPECT_EQ(table.find(0), nullptr);
    EXPECT_FALSE(table.erase(0));
    table.clear();
    EXPECT_EQ(table.size(), 0u);
    EXPECT_EQ(table.find(expected.begin()->first), nullptr);
}

}  // namespace
