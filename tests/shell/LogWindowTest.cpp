#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QScrollBar>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

#include "QtWait.h"
#include "RecordingP7.h"
#include "shell/LogWindow.h"
#include "shell/Logger.h"

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
    window.show();
    const QStringList lines = window.toPlainText().split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[lines.size() - 2], "first line for the window");
    EXPECT_EQ(lines.last(), "second line for the window");
    window.hide();
}

TEST_F(LogWindowTest, HiddenWindowLaysOutNothingUntilShown) {
    qDebug("kept while hidden 1");
    qDebug(" ");
    qDebug("kept while hidden 2");
    EXPECT_TRUE(window.toPlainText().isEmpty());
    EXPECT_EQ(window.pendingLines(), 3);

    window.show();
    EXPECT_EQ(window.toPlainText(), "kept while hidden 1\n \nkept while hidden 2");
    EXPECT_EQ(window.pendingLines(), 0);

    // Hidden again: new lines wait behind the ones already shown.
    window.hide();
    qDebug("after hiding");
    EXPECT_EQ(window.document()->blockCount(), 3);
    window.show();
    EXPECT_EQ(window.document()->lastBlock().text(), "after hiding");
    EXPECT_EQ(window.document()->blockCount(), 4);
    window.hide();

    // A message with a line feed is two paragraphs, as shown directly.
    qDebug("upper half\nlower half");
    EXPECT_EQ(window.pendingLines(), 2);
    window.show();
    EXPECT_EQ(window.document()->blockCount(), 6);
    EXPECT_EQ(window.document()->lastBlock().text(), "lower half");
    window.hide();
}

TEST_F(LogWindowTest, VisibleWindowAddsLinesInBatchesInOrder) {
    window.show();
    for (int i = 0; i < 50; ++i) {
        qDebug("visible line %d", i);
    }
    ASSERT_TRUE(testsupport::pumpUntil([&] { return window.pendingLines() == 0; }, 5000));
    const QStringList lines = window.toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 50);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(lines[i], QStringLiteral("visible line %1").arg(i));
    }

    // Hidden before its batch is due: the line waits for the next showing.
    qDebug("logged just before hiding");
    window.hide();
    QElapsedTimer waited;
    waited.start();
    testsupport::pumpUntil([&] { return waited.elapsed() > 3 * LogWindow::appendIntervalMs; },
                           5000);
    EXPECT_EQ(window.document()->blockCount(), 50);
    EXPECT_EQ(window.pendingLines(), 1);
    window.show();
    EXPECT_EQ(window.document()->lastBlock().text(), "logged just before hiding");
    window.hide();
}

TEST_F(LogWindowTest, HiddenWindowKeepsOnlyTheNewestLinesAndShowsThemAtTheEnd) {
    Logger* logger = Logger::instance();
    for (int i = 0; i < LogWindow::maximumLines + 7; ++i) {
        emit logger->message(QtDebugMsg, QString::number(i));
    }
    EXPECT_EQ(window.pendingLines(), LogWindow::maximumLines);
    window.show();
    EXPECT_EQ(window.document()->blockCount(), LogWindow::maximumLines);
    EXPECT_EQ(window.document()->firstBlock().text(), "7");
    EXPECT_EQ(window.document()->lastBlock().text(), QString::number(LogWindow::maximumLines + 6));
    QScrollBar* bar = window.verticalScrollBar();
    QCoreApplication::processEvents();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    window.hide();
}

// Several chunks of the hidden window's backlog, kept compressed, each line
// with non-ASCII text and some messages of two lines: every line comes back
// as it was logged, in order.
TEST_F(LogWindowTest, HiddenWindowGivesBackEveryLineOfManyChunks) {
    Logger* logger = Logger::instance();
    QStringList expected;
    for (int i = 0; i < 6000; ++i) {
        const QString line = QStringLiteral("Gerät %1 gefunden: Zähler ☃ %1").arg(i);
        if (i % 7 == 0) {
            emit logger->message(QtDebugMsg, line + QStringLiteral("\nzweite Zeile"));
            expected << line << QStringLiteral("zweite Zeile");
        } else {
            emit logger->message(QtDebugMsg, line);
            expected << line;
        }
    }
    EXPECT_EQ(window.pendingLines(), expected.size());
    window.show();
    EXPECT_EQ(window.toPlainText(), expected.join(QLatin1Char('\n')));
    window.hide();
}

TEST_F(LogWindowTest, ShowingAfterManyMessagesScrollsToTheNewest) {
    for (int i = 0; i < 400; ++i) {
        qDebug("window line %d", i);
    }
    window.show();
    QScrollBar* bar = window.verticalScrollBar();
    ASSERT_TRUE(
        testsupport::pumpUntil([&] { return window.isVisible() && bar->maximum() > 0; }, 5000));
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
