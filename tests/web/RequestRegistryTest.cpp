#include <gtest/gtest.h>

#include <QStringList>

#include "web/RequestRegistry.h"

// The request kinds and their parsing; what each parsed request does is
// GuiHandler's and is tested with it (tests/app/GuiHandlerTest.cpp).

TEST(RequestRegistry, HoldsExactlyTheSevenKinds) {
    QStringList keys;
    for (const auto& entry : requestRegistry()) {
        keys << entry.first;
    }
    EXPECT_EQ(keys, (QStringList{"CancelBatch", "ChangeDevice", "ChangeDevices", "Localize",
                                 "SetFavorite", "SetLanguage", "SetTheme"}));
}

TEST(RequestRegistry, ParseKeepsCallerValuesWhenIdCannotBeRead) {
    QStringList errors;
    QString reqType = "before";
    QString reqId = "before";
    EXPECT_EQ(parseRequest(R"({"reqType":"SetTheme"})", errors, reqType, reqId), nullptr);
    EXPECT_EQ(reqType, "before");
    EXPECT_EQ(reqId, "before");
    EXPECT_EQ(errors, QStringList{"reqId not found"});
}
