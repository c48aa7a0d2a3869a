#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonObject>

#include "DeviceTestSupport.h"
#include "FakeClock.h"
#include "FakeProtocolEngine.h"
#include "QtWait.h"
#include "device/AutoScanner.h"

using devicetest::CacheRecorder;
using testsupport::pumpUntil;

namespace {

class AutoScannerTest : public ::testing::Test {
protected:
    QString thrownByRead(const QJsonObject& object) {
        try {
            scanner.fromJson(object);
        } catch (const QString& message) {
            return message;
        }
        return QString();
    }

    fakes::FakeClock clock;
    CacheRecorder recorder;
    fakes::FakeProtocolEngine engine;
    AutoScanner scanner{&engine};
};

}  // namespace

TEST_F(AutoScannerTest, StartsInactiveWithOneSecondAndNoScan) {
    EXPECT_EQ(scanner.toJson().toObject(), (QJsonObject{{"isActive", false},
                                                        {"lastScanTime", QJsonValue::Null},
                                                        {"scanIntervalMs", 1000}}));
    EXPECT_FALSE(scanner.isTimerRunning());
    EXPECT_EQ(scanner.timerInterval(), 1000);
}

TEST_F(AutoScannerTest, ActivatingTwiceStartsTheTimerOnceAndReportsOnce) {
    scanner.isActive.set(true);
    scanner.isActive.set(true);
    EXPECT_TRUE(scanner.isTimerRunning());
    EXPECT_EQ(recorder.scannerChanges("isActive"), QVector<QJsonValue>{true});
    scanner.isActive.set(false);
    EXPECT_FALSE(scanner.isTimerRunning());
    EXPECT_EQ(recorder.scannerChanges("isActive"), (QVector<QJsonValue>{true, false}));
}

TEST_F(AutoScannerTest, ANewIntervalIsTakenByTheTimerAndReportedOnce) {
    scanner.isActive.set(true);
    scanner.scanIntervalMs.set(5000);
    scanner.scanIntervalMs.set(5000);
    EXPECT_EQ(scanner.timerInterval(), 5000);
    EXPECT_TRUE(scanner.isTimerRunning());
    EXPECT_EQ(recorder.scannerChanges("scanIntervalMs"), QVector<QJsonValue>{5000});
}

TEST_F(AutoScannerTest, NoScanWhileTheEngineIsNotRunning) {
    for (auto state :
         {IProtocolEngine::Stopped, IProtocolEngine::Initializing, IProtocolEngine::BadFactory,
          IProtocolEngine::InitializationFailed, IProtocolEngine::Interrupted}) {
        engine.setState(state);
        scanner.onTimerEvent();
    }
    EXPECT_EQ(engine.scans, 0);
    EXPECT_TRUE(scanner.lastScanTime.get().isNull());
    EXPECT_TRUE(recorder.scannerChanges("lastScanTime").isEmpty());

    engine.setState(IProtocolEngine::Running);
    scanner.onTimerEvent();
    EXPECT_EQ(engine.scans, 1);
    EXPECT_EQ(scanner.lastScanTime.get(), clock.currentDateTime());
    EXPECT_EQ(recorder.scannerChanges("lastScanTime"),
              QVector<QJsonValue>{clock.currentDateTime().toString(Qt::ISODate)});
}

TEST_F(AutoScannerTest, TheTimerScansAtTheIntervalWhileActive) {
    engine.setState(IProtocolEngine::Running);
    scanner.scanIntervalMs.set(20);
    scanner.isActive.set(true);
    EXPECT_TRUE(pumpUntil([&] { return engine.scans >= 3; }));
    scanner.isActive.set(false);
    const int scans = engine.scans;
    QCoreApplication::processEvents();
    EXPECT_EQ(engine.scans, scans);
}

TEST_F(AutoScannerTest, ReadingStopsAtTheFirstMissingKeyAfterApplyingTheEarlierOnes) {
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
    EXPECT_EQ(
        thrownByRead(QJsonObject{{"isActive", true}, {"lastScanTime", when.toString(Qt::ISODate)}}),
        "scanIntervalMs not found");
    EXPECT_TRUE(scanner.isActive.get());
    EXPECT_EQ(scanner.lastScanTime.get(), when);
}

TEST_F(AutoScannerTest, ItsOwnFreshFormDoesNotReadBack) {
    scanner.isActive.set(true);
    const QJsonObject fresh = AutoScanner(&engine).toJson().toObject();
    EXPECT_EQ(thrownByRead(fresh), "lastScanTime value type mismatch. Expected string");
    EXPECT_FALSE(scanner.isActive.get());
}

TEST_F(AutoScannerTest, ReadingChecksEachType) {
    EXPECT_EQ(thrownByRead(QJsonObject{{"isActive", 1}}),
              "isActive value type mismatch. Expected bool");
    EXPECT_EQ(thrownByRead(QJsonObject{{"isActive", true},
                                       {"lastScanTime", "2026-01-01T00:00:00"},
                                       {"scanIntervalMs", "fast"}}),
              "scanIntervalMs value type mismatch. Expected int");
    EXPECT_TRUE(scanner.fromJson(QJsonObject{
        {"isActive", false}, {"lastScanTime", "2026-01-01T00:00:00"}, {"scanIntervalMs", 250}}));
    EXPECT_EQ(scanner.timerInterval(), 250);
}
