#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QIcon>
#include <QScrollBar>
#include <QTextBlock>

#include "RecordingP7.h"
#include "shell/LogWindow.h"
#include "shell/Logger.h"
#include "support/NetLab.h"

namespace {

class LogWindowTest : public ::testing::Test {
protected:
    void SetUp() override { recording_p7::reset(); }
    LogWindow window{Logger::instance()};
};

TEST_F(LogWindowTest, StartsAsAHiddenTopLevelWindowWithItsTitleSizeAndIcon) {
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.isWindow());
    EXPECT_EQ(window.parent(), nullptr);
    EXPECT_EQ(window.windowTitle(), "vostrel Discovery Tool Log Viewer");
    EXPECT_EQ(window.size(), QSize(400, 500));
    EXPECT_FALSE(window.windowIcon().isNull());
}

TEST_F(LogWindowTest, ShowsEachMessageAsAParagraphWithoutItsType) {
    qWarning("first line for the window");
    qCritical("second line for the window");
    const QStringList lines = window.toPlainText().split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[lines.size() - 2], "first line for the window");
    EXPECT_EQ(lines.last(), "second line for the window");
}

TEST_F(LogWindowTest, ShowingAfterManyMessagesScrollsToTheNewest) {
    for (int i = 0; i < 400; ++i) {
        qDebug("window line %d", i);
    }
    window.show();
    QScrollBar* bar = window.verticalScrollBar();
    ASSERT_TRUE(testsupport::waitFor(
        [&] {
            QCoreApplication::processEvents();
            return window.isVisible() && bar->maximum() > 0;
        },
        5000));
    EXPECT_EQ(bar->value(), bar->maximum());

    // Scrolled away, hidden, shown again: back at the end.
    bar->setValue(0);
    window.hide();
    qDebug("one more line");
    window.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), bar->maximum());
    window.hide();
}

TEST_F(LogWindowTest, KeepsOnlyTheNewestLinesOfALongRun) {
    for (int i = 0; i < LogWindow::maximumLines + 5; ++i) {
        window.appendPlainText(QString::number(i));
    }
    EXPECT_EQ(window.document()->blockCount(), LogWindow::maximumLines);
    EXPECT_EQ(window.document()->lastBlock().text(), QString::number(LogWindow::maximumLines + 4));
    EXPECT_EQ(window.document()->firstBlock().text(), "5");
}

TEST(LogWindowWithoutLogger, WorksWithoutALogger) {
    LogWindow window(nullptr);
    window.appendPlainText("by hand");
    EXPECT_EQ(window.toPlainText(), "by hand");
}

}  // namespace
