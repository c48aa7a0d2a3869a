#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <thread>
#include <vector>

#include "QtWait.h"
#include "RecordingP7.h"
#include "shell/Logger.h"

namespace {

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::instance();
        recording_p7::reset();
    }
};

struct LevelCase {
    QtMsgType type;
    int level;
};

TEST_F(LoggerTest, LevelTableMapsEveryQtTypeToItsLogbridgeLevel) {
    const LevelCase table[] = {
        {QtDebugMsg, 0}, {QtWarningMsg, 1}, {QtCriticalMsg, 2}, {QtFatalMsg, 2}, {QtInfoMsg, 0}};
    for (const LevelCase& c : table) {
        EXPECT_EQ(Logger::levelFor(c.type), c.level) << "type " << int(c.type);
    }
    EXPECT_EQ(Logger::levelFor(static_cast<QtMsgType>(42)), -1);
}

TEST_F(LoggerTest, QtMessagesReachLogbridgeWithTheirLevels) {
    qDebug("level check debug");
    qInfo("level check info");
    qWarning("level check warning");
    qCritical("level check critical");
    const auto debug = recording_p7::deliveriesContaining("level check debug");
    const auto info = recording_p7::deliveriesContaining("level check info");
    const auto warning = recording_p7::deliveriesContaining("level check warning");
    const auto critical = recording_p7::deliveriesContaining("level check critical");
    ASSERT_EQ(debug.size(), 1u);
    ASSERT_EQ(info.size(), 1u);
    ASSERT_EQ(warning.size(), 1u);
    ASSERT_EQ(critical.size(), 1u);
    EXPECT_EQ(debug[0].level, 0);
    EXPECT_EQ(info[0].level, 0);
    EXPECT_EQ(warning[0].level, 1);
    EXPECT_EQ(critical[0].level, 2);
    EXPECT_EQ(warning[0].function, "Logger::msgHandler");
}

TEST_F(LoggerTest, TypeOutsideTheTableIsNotDeliveredButStillEmitted) {
    QStringList shown;
    auto connection = QObject::connect(Logger::instance(), &Logger::message,
                                       [&](QtMsgType, const QString& msg) { shown << msg; });
    // 7 is the largest value QtMsgType can hold (its enumerators span 0..4, so
    // three bits) and names no type; a value beyond that, such as 42, is
    // undefined behaviour to even pass along.
    Logger::msgHandler(static_cast<QtMsgType>(7), QMessageLogContext(), "odd type");
    QObject::disconnect(connection);
    EXPECT_TRUE(recording_p7::deliveriesContaining("odd type").empty());
    EXPECT_EQ(shown, QStringList{"odd type"});
}

TEST_F(LoggerTest, PercentSignsAndFormatDirectivesPassUnchanged) {
    QStringList shown;
    auto connection = QObject::connect(Logger::instance(), &Logger::message,
                                       [&](QtMsgType, const QString& msg) { shown << msg; });
    const QString text = QStringLiteral("100% done %s %n %d ünï");
    qWarning().noquote() << text;
    QObject::disconnect(connection);
    const auto delivered = recording_p7::deliveriesContaining("100%");
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].text, text.toUtf8().toStdString());
    EXPECT_EQ(shown, QStringList{text});
}

TEST(LogEscaping, ControlCharactersBecomeVisibleAndCannotForgeALine) {
    const std::vector<std::pair<QString, QString>> rows = {
        {"LNF Instance Started", "LNF Instance Started"},
        {"x\n2024-01-01 [critical] forged", "x\\n2024-01-01 [critical] forged"},
        {"a\r\tb", "a\\r\\tb"},
        {QString("esc") + QChar(0x1b) + "[31m", "esc\\x1b[31m"},
        {QString("nul") + QChar(0) + "del" + QChar(0x7f) + "c1" + QChar(0x85),
         "nul\\x00del\\x7fc1\\x85"},
        {QString("ls") + QChar(0x2028) + "ps" + QChar(0x2029), "ls\\u2028ps\\u2029"},
        {"a\\nb", "a\\\\nb"},  // a backslash-n in the text is not our escape
        {QStringLiteral("100% ünïcode"), QStringLiteral("100% ünïcode")},
    };
    for (const auto& [text, logged] : rows) {
        EXPECT_EQ(escapedForLog(text), logged) << text.toStdString();
    }
}

TEST_F(LoggerTest, MainThreadMessageIsEmittedAtOnce) {
    int seen = 0;
    auto connection = QObject::connect(Logger::instance(), &Logger::message,
                                       [&](QtMsgType type, const QString& msg) {
                                           if (msg == "main thread now") {
                                               EXPECT_EQ(type, QtInfoMsg);
                                               ++seen;
                                           }
                                       });
    qInfo("main thread now");
    QObject::disconnect(connection);
    EXPECT_EQ(seen, 1);
}

TEST_F(LoggerTest, WorkerThreadWarningIsDeliveredThereAndShownAfterEventsRun) {
    QStringList shown;
    QList<QtMsgType> types;
    auto connection = QObject::connect(Logger::instance(), &Logger::message,
                                       [&](QtMsgType type, const QString& msg) {
                                           if (msg == "from the worker") {
                                               shown << msg;
                                               types << type;
                                           }
                                       });
    std::thread::id workerId;
    std::thread worker([&] {
        workerId = std::this_thread::get_id();
        qWarning("from the worker");
    });
    worker.join();

    const auto delivered = recording_p7::deliveriesContaining("from the worker");
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].level, 1);
    EXPECT_EQ(delivered[0].thread, workerId);
    // Queued to the main thread: nothing is shown before its events run.
    EXPECT_TRUE(shown.isEmpty());

    EXPECT_TRUE(testsupport::pumpUntil([&] { return !shown.isEmpty(); }, 5000));
    QObject::disconnect(connection);
    EXPECT_EQ(shown, QStringList{"from the worker"});
    EXPECT_EQ(types, QList<QtMsgType>{QtWarningMsg});
}

TEST_F(LoggerTest, ConcurrentFirstUseYieldsOneLoggerOwnedByTheApplication) {
    std::vector<Logger*> seen(8, nullptr);
    std::vector<std::thread> threads;
    std::atomic<bool> go{false};
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] {
            while (!go) {
            }
            seen[i] = Logger::instance();
        });
    }
    go = true;
    for (auto& t : threads) {
        t.join();
    }
    for (Logger* l : seen) {
        EXPECT_EQ(l, Logger::instance());
    }
    EXPECT_EQ(Logger::instance()->parent(), QCoreApplication::instance());
    EXPECT_EQ(Logger::instance()->thread(), QCoreApplication::instance()->thread());
}

TEST_F(LoggerTest, SetupLogFileHandsTheFolderAndBoundsToLogbridge) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/logs/";
    EXPECT_TRUE(setupLogFile(folder));
    const auto calls = recording_p7::textFileCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].maxFiles, 10);
    EXPECT_EQ(calls[0].folder, folder.toStdWString());
    EXPECT_EQ(calls[0].maxFileSizeMb, 20);
    const auto status = recording_p7::statusCalls();
    ASSERT_EQ(status.size(), 1u);
    EXPECT_TRUE(status[0].enabled);
    EXPECT_EQ(status[0].flushLevel, 2);
}

TEST_F(LoggerTest, SetupLogFileFailsOnALogbridgeErrorButMessagesStillFlow) {
    recording_p7::setTextFileResult(13);
    EXPECT_FALSE(setupLogFile(QStringLiteral("/nonexistent/logs/")));
    qWarning("still delivered after a failed setup");
    EXPECT_EQ(recording_p7::deliveriesContaining("still delivered after a failed setup").size(),
              1u);
}

TEST_F(LoggerTest, SlotThatLogsDoesNotRecurseOrDeadlock) {
    int calls = 0;
    auto connection =
        QObject::connect(Logger::instance(), &Logger::message, [&](QtMsgType, const QString& msg) {
            if (msg == "outer message") {
                ++calls;
                qDebug("inner message");
            }
        });
    qDebug("outer message");
    EXPECT_EQ(calls, 1);
    // The handler is whole again afterwards.
    qDebug("after the nested message");
    QObject::disconnect(connection);
    EXPECT_EQ(recording_p7::deliveriesContaining("outer message").size(), 1u);
    EXPECT_EQ(recording_p7::deliveriesContaining("after the nested message").size(), 1u);
}

}  // namespace
