#include <gtest/gtest.h>

#include <set>
#include <string>

#include "LanfinderLab.h"

namespace {

struct SettingsCase {
    const char* name;
    const char* text;
    bool whole;
    std::set<std::string> favourites;
};

class FavouritesOfSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(FavouritesOfSettings, ReadsOnlyWholeSettings) {
    const auto& c = GetParam();
    std::set<std::string> ids = {"left over"};
    EXPECT_EQ(e2e::favouritesOf(c.text, ids), c.whole) << c.name;
    if (c.whole) {
        EXPECT_EQ(ids, c.favourites) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FavouritesOfSettings,
    ::testing::Values(
        SettingsCase{"two favourites",
                     R"({"language":"en","theme":"dark","devices":{"list":[
                        {"id":"a_1","isFavorite":true},{"id":"b_2","isFavorite":true}]}})",
                     true,
                     {"a_1", "b_2"}},
        SettingsCase{"none", R"({"language":"en","theme":"dark","devices":{"list":[]}})", true, {}},
        SettingsCase{
            "cut short", R"({"language":"en","theme":"dark","devices":{"list":[)", false, {}},
        SettingsCase{"empty", "", false, {}},
        SettingsCase{"no theme", R"({"language":"en","devices":{"list":[]}})", false, {}},
        SettingsCase{"list not an array",
                     R"({"language":"en","theme":"dark","devices":{"list":{}}})",
                     false,
                     {}},
        SettingsCase{"a device that is no favourite",
                     R"({"language":"en","theme":"dark","devices":{"list":[
                        {"id":"a_1","isFavorite":false}]}})",
                     false,
                     {}},
        SettingsCase{"a number for an id",
                     R"({"language":"en","theme":"dark","devices":{"list":[
                        {"id":7,"isFavorite":true}]}})",
                     false,
                     {}},
        SettingsCase{"a text for the favourite mark",
                     R"({"language":"en","theme":"dark","devices":{"list":[
                        {"id":"a_1","isFavorite":"yes"}]}})",
                     false,
                     {}},
        SettingsCase{"no favourite mark",
                     R"({"language":"en","theme":"dark","devices":{"list":[{"id":"a_1"}]}})",
                     false,
                     {}}));

}  // namespace
