#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include "RecordingP7.h"
#include "shell/Logger.h"
#include "shell/SysTray.h"

namespace {

TEST(SysTrayWithoutDesktop, ConstructorThrowsTheFixedText) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        GTEST_SKIP() << "this desktop has a tray";
    }
    Logger::instance();
    recording_p7::reset();
    try {
        SysTray tray;
        FAIL() << "no exception";
    } catch (const QString& text) {
        EXPECT_EQ(text, "SysTray: No System Tray support available");
    }
    const auto logged =
        recording_p7::deliveriesContaining("SysTray: No System Tray support available");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].level, 0);
}

TEST(SysTrayWithoutDesktop, InjectedMissingTrayThrowsToo) {
    EXPECT_THROW(SysTray([] { return false; }, nullptr), QString);
}

// The tray's logic, with the tray check answered yes.
class SysTrayTest : public ::testing::Test {
protected:
    SysTrayTest() : tray([] { return true; }, nullptr) {
        QObject::connect(&tray, &SysTray::requestShowBrowser, [this] { ++browser; });
        QObject::connect(&tray, &SysTray::requestApplicationClose, [this] { ++close; });
        QObject::connect(&tray, &SysTray::requestShowLogWidget, [this] { ++logWidget; });
        QObject::connect(&tray, &SysTray::requestShowLogFolder, [this] { ++logFolder; });
        QObject::connect(&tray, &SysTray::requestCopyRemoteAccessLink, [this] { ++copyLink; });
    }

    QList<QAction*> menuActions() const { return tray.trayIcon()->contextMenu()->actions(); }
    int total() const { return browser + close + logWidget + logFolder + copyLink; }

    SysTray tray;
    int browser = 0;
    int close = 0;
    int logWidget = 0;
    int logFolder = 0;
    int copyLink = 0;
};

TEST_F(SysTrayTest, IconIsVisibleWithItsToolTipAndImage) {
    ASSERT_NE(tray.trayIcon(), nullptr);
    EXPECT_TRUE(tray.trayIcon()->isVisible());
    EXPECT_EQ(tray.trayIcon()->toolTip(), "vostrel Discovery Tool");
    EXPECT_FALSE(tray.trayIcon()->icon().isNull());
}

TEST_F(SysTrayTest, MenuListsTheEntriesInOrderWithQuitLast) {
    const QList<QAction*> actions = menuActions();
    ASSERT_EQ(actions.size(), 5);
    EXPECT_EQ(actions[0]->text(), "&Show View");
    EXPECT_EQ(actions[1]->text(), "&Show Log Window");
    EXPECT_EQ(actions[2]->text(), "&Show Log Folder");
    EXPECT_TRUE(actions[3]->isSeparator());
    EXPECT_EQ(actions[4]->text(), "&Quit");
}

TEST_F(SysTrayTest, EachEntryEmitsOnlyItsOwnRequest) {
    const QList<QAction*> actions = menuActions();
    ASSERT_EQ(actions.size(), 5);
    actions[0]->trigger();
    EXPECT_EQ(browser, 1);
    EXPECT_EQ(total(), 1);
    actions[1]->trigger();
    EXPECT_EQ(logWidget, 1);
    EXPECT_EQ(total(), 2);
    actions[2]->trigger();
    EXPECT_EQ(logFolder, 1);
    EXPECT_EQ(total(), 3);
    actions[4]->trigger();
    EXPECT_EQ(close, 1);
    EXPECT_EQ(total(), 4);
}

TEST_F(SysTrayTest, RemoteAccessAddsOneCopyLinkEntryAboveTheSeparator) {
    tray.addRemoteAccessEntry();
    tray.addRemoteAccessEntry();
    const QList<QAction*> actions = menuActions();
    ASSERT_EQ(actions.size(), 6);
    EXPECT_EQ(actions[3]->text(), "Copy remote access link");
    EXPECT_TRUE(actions[4]->isSeparator());
    EXPECT_EQ(actions[5]->text(), "&Quit");
    actions[3]->trigger();
    EXPECT_EQ(copyLink, 1);
    EXPECT_EQ(total(), 1);
}

TEST_F(SysTrayTest, DoubleClickShowsTheBrowserOnce) {
    emit tray.trayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(browser, 1);
    EXPECT_EQ(total(), 1);
}

TEST_F(SysTrayTest, OtherActivationsDoNothing) {
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context,
                        QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
        emit tray.trayIcon()->activated(reason);
    }
    EXPECT_EQ(total(), 0);
}

}  // namespace
