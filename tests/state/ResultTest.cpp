#include <gtest/gtest.h>

#include "state/Result.h"

struct ResultJsonCase {
    const char* name;
    Result result;
    QByteArray json;
};

class ResultJson : public ::testing::TestWithParam<ResultJsonCase> {};

TEST_P(ResultJson, WritesCompactSortedAndLeavesOutEmptyMembers) {
    EXPECT_EQ(GetParam().result.toCompactJson(), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ResultJson,
    ::testing::Values(
        ResultJsonCase{"Default", Result{}, R"({"status":"Unknown"})"},
        ResultJsonCase{"AcceptedTheme", Result{9, ResultStatus::OK, {}, "SetTheme", "7"},
                       R"({"reqId":"7","reqType":"SetTheme","status":"OK"})"},
        ResultJsonCase{"RejectedWithDetails",
                       Result{1, ResultStatus::ValidationError, {"a", "b"}, "Unknown", "Unknown"},
                       R"({"details":["a","b"],"reqId":"Unknown","reqType":"Unknown",)"
                       R"("status":"ValidationError"})"},
        ResultJsonCase{"OutOfRangeStatusIsUnknown",
                       Result{0, static_cast<ResultStatus>(2), {}, "", "x"},
                       R"({"reqId":"x","status":"Unknown"})"}),
    [](const ::testing::TestParamInfo<ResultJsonCase>& info) {
        return std::string(info.param.name);
    });

TEST(ResultJsonForm, ClientIdIsNotPartOfTheAnswer) {
    Result result;
    result.clientID = 123456789;
    result.status = ResultStatus::OK;
    EXPECT_FALSE(result.toJson().contains("clientID"));
}
