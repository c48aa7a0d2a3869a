#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "state/PendingDiff.h"

namespace {

// The smallest object the pending diff works with: key to value.
struct Fields {
    std::map<std::string, std::string> values;

    bool contains(const std::string& key) const { return values.count(key) > 0; }
    void insert(const std::string& key, const std::string& value) { values[key] = value; }
    bool operator==(const Fields& other) const { return values == other.values; }
};

void PrintTo(const Fields& fields, std::ostream* out) {
    *out << '{';
    for (const auto& [key, value] : fields.values) {
        *out << key << ':' << value << ' ';
    }
    *out << '}';
}

using Diff = PendingDiff<std::string, Fields>;

// One event: "+" adds the device (with the key "name" = value), "-" removes
// it, "~" changes key to value.
struct Step {
    char op;
    std::string id;
    std::string key;
    std::string value;
};

struct Row {
    const char* name;
    bool coalescing;
    std::vector<Step> steps;
    // Added devices in order, each with its fields (the id included).
    std::vector<Fields> added;
    std::vector<std::string> removed;
    std::map<std::string, Fields> updated;
    int entries;
};

Fields device(const std::string& id, std::map<std::string, std::string> values = {}) {
    values["id"] = id;
    if (values.count("name") == 0) {
        values["name"] = id;
    }
    return Fields{values};
}

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

class PendingDiffRules : public ::testing::TestWithParam<Row> {};

TEST_P(PendingDiffRules, HoldsWhatTheEventsLeave) {
    const Row& row = GetParam();
    Diff diff;
    diff.setCoalescing(row.coalescing);
    for (const Step& step : row.steps) {
        if (step.op == '+') {
            diff.add(step.id, device(step.id));
        } else if (step.op == '-') {
            diff.remove(step.id);
        } else {
            diff.change(step.id, step.key, step.value);
        }
    }
    std::vector<Fields> added;
    diff.forEachAdded([&added](const Fields& fields) { added.push_back(fields); });
    EXPECT_EQ(added, row.added);
    EXPECT_EQ(diff.hasAdded(), !row.added.empty());
    EXPECT_EQ(diff.removed(), row.removed);
    EXPECT_EQ(diff.updated(), row.updated);
    EXPECT_EQ(diff.entries(), row.entries);
}

INSTANTIATE_TEST_SUITE_P(
    Coalescing, PendingDiffRules,
    ::testing::Values(
        Row{"LaterValueOfAKeyReplacesTheEarlierOne",
            true,
            {{'~', "a", "name", "first"}, {'~', "a", "name", "second"}, {'~', "a", "ip", "1"}},
            {},
            {},
            {{"a", Fields{{{"name", "second"}, {"ip", "1"}}}}},
            1},
        Row{"UpdatesComeInAscendingIdOrder",
            true,
            {{'~', "c", "name", "c"}, {'~', "a", "name", "a"}, {'~', "b", "name", "b"}},
            {},
            {},
            {{"a", Fields{{{"name", "a"}}}},
             {"b", Fields{{{"name", "b"}}}},
             {"c", Fields{{{"name", "c"}}}}},
            3},
        Row{"AddThenChangeOfAKeyOfTheObjectGoesIntoIt",
            true,
            {{'+', "a", "", ""}, {'~', "a", "name", "x"}},
            {device("a", {{"name", "x"}})},
            {},
            {},
            1},
        Row{"AddThenChangeOfAnotherKeyStaysAnUpdate",
            true,
            {{'+', "a", "", ""}, {'~', "a", "shouldProcess", "true"}},
            {device("a")},
            {},
            {{"a", Fields{{{"shouldProcess", "true"}}}}},
            2},
        Row{"ChangeThenAddLeavesOnlyTheWholeDevice",
            true,
            {{'~', "a", "name", "old"}, {'+', "a", "", ""}},
            {device("a")},
            {},
            {},
            2},
        Row{"AddThenRemoveIsOnlyRemoved",
            true,
            {{'+', "a", "", ""}, {'+', "b", "", ""}, {'~', "a", "ip", "1"}, {'-', "a", "", ""}},
            {device("b")},
            {"a"},
            {},
            4},
        Row{"AddedTwiceThenRemovedDropsBothAdditions",
            true,
            {{'+', "a", "", ""}, {'+', "b", "", ""}, {'+', "a", "", ""}, {'-', "a", "", ""}},
            {device("b")},
            {"a"},
            {},
            4},
        Row{"ChangeThenRemoveIsOnlyRemoved",
            true,
            {{'~', "a", "name", "x"}, {'~', "a", "shouldProcess", "true"}, {'-', "a", "", ""}},
            {},
            {"a"},
            {},
            2},
        // The cache sends the removal first (wasRemoved); on its own the
        // pending diff keeps both.
        Row{"RemoveThenAddKeepsBoth",
            true,
            {{'-', "a", "", ""}, {'+', "a", "", ""}, {'~', "a", "name", "back"}},
            {device("a", {{"name", "back"}})},
            {"a"},
            {},
            2},
        Row{"RemovedTwiceIsListedOnce",
            true,
            {{'-', "a", "", ""}, {'-', "b", "", ""}, {'-', "a", "", ""}},
            {},
            {"a", "b"},
            {},
            2},
        Row{"AdditionsAndRemovalsKeepTheirOrder",
            true,
            {{'+', "c", "", ""},
             {'+', "a", "", ""},
             {'+', "b", "", ""},
             {'+', "d", "", ""},
             {'-', "d", "", ""},
             {'-', "a", "", ""},
             {'-', "z", "", ""}},
            {device("c"), device("b")},
            {"d", "a", "z"},
            {},
            7},
        Row{"ChangesAfterARemovalFindTheirDevicesObject",
            true,
            {{'+', "a", "", ""},
             {'+', "b", "", ""},
             {'+', "c", "", ""},
             {'-', "a", "", ""},
             {'~', "c", "name", "c2"},
             {'~', "b", "name", "b2"}},
            {device("b", {{"name", "b2"}}), device("c", {{"name", "c2"}})},
            {"a"},
            {},
            4},
        Row{"AddedAgainAfterARemovalTakesItsChanges",
            true,
            {{'+', "a", "", ""}, {'-', "a", "", ""}, {'+', "a", "", ""}, {'~', "a", "name", "x"}},
            {device("a", {{"name", "x"}})},
            {"a"},
            {},
            3},
        Row{"WithoutCoalescingAChangeOfAnAddedDeviceStaysAnUpdate",
            false,
            {{'+', "a", "", ""}, {'~', "a", "name", "x"}},
            {device("a")},
            {},
            {{"a", Fields{{{"name", "x"}}}}},
            2},
        Row{"WithoutCoalescingAddThenRemoveIsStillOnlyRemoved",
            false,
            {{'+', "a", "", ""}, {'-', "a", "", ""}},
            {},
            {"a"},
            {},
            2}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

TEST(PendingDiff, ApplicationAndScannerKeysKeepTheirLastValue) {
    Diff diff;
    diff.setApp("theme", "dark");
    diff.setApp("theme", "light");
    diff.setScanner("isActive", "true");
    EXPECT_EQ(diff.app(), (Fields{{{"theme", "light"}}}));
    EXPECT_EQ(diff.scanner(), (Fields{{{"isActive", "true"}}}));
    // Not device entries: they never make a diff go out early.
    EXPECT_EQ(diff.entries(), 0);
}

TEST(PendingDiff, ClearForgetsEverything) {
    Diff diff;
    diff.setCoalescing(true);
    diff.setApp("theme", "dark");
    diff.setScanner("isActive", "true");
    diff.add("a", device("a"));
    diff.change("b", "name", "x");
    diff.remove("c");
    diff.clear();
    EXPECT_EQ(diff.app(), Fields{});
    EXPECT_EQ(diff.scanner(), Fields{});
    EXPECT_FALSE(diff.hasAdded());
    EXPECT_TRUE(diff.removed().empty());
    EXPECT_TRUE(diff.updated().empty());
    EXPECT_FALSE(diff.wasRemoved("c"));
    EXPECT_EQ(diff.entries(), 0);
    // Nothing of the earlier diff leaks into the next one.
    diff.change("a", "name", "y");
    EXPECT_EQ(diff.updated(), (std::map<std::string, Fields>{{"a", Fields{{{"name", "y"}}}}}));
}

TEST(PendingDiff, WasRemovedNamesOnlyRemovedDevices) {
    Diff diff;
    diff.add("a", device("a"));
    diff.remove("b");
    EXPECT_TRUE(diff.wasRemoved("b"));
    EXPECT_FALSE(diff.wasRemoved("a"));
}

}  // namespace
