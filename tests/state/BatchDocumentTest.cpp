#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "StateTestSupport.h"
#include "state/BatchReport.h"

using namespace statetest;

namespace {

using Status = BatchReport::Status;

QJsonObject item(const QString& id, const QString& status, const QString& message = QString()) {
    return QJsonObject{{"deviceId", id}, {"status", status}, {"message", message}};
}

class BatchDocument : public ::testing::Test {
protected:
    const QDateTime started{QDate(2026, 3, 1), QTime(10, 0, 0)};
    FixedClock clock{started};
    ClockScope clockScope{&clock};
    CacheRig rig;
    BatchReport report;

    QJsonValue batchOf(int diff) const { return rig.diff(diff).value("batch"); }
};

}  // namespace

TEST_F(BatchDocument, NoJobIsNull) {
    EXPECT_TRUE(report.toJson().isNull());
}

TEST_F(BatchDocument, AStartCarriesTheWholeReport) {
    report.start({"a_1", "b_2"});
    ASSERT_EQ(rig.diffs.size(), 1);
    EXPECT_EQ(rig.lastDiff().keys(), QStringList{"batch"});
    EXPECT_EQ(batchOf(0),
              (QJsonObject{{"state", "running"},
                           {"startedTime", started.toString(Qt::ISODate)},
                           {"finishedTime", QJsonValue::Null},
                           {"items", QJsonArray{item("a_1", "pending"), item("b_2", "pending")}}}));
    EXPECT_EQ(batchOf(0), report.toJson());
}

TEST_F(BatchDocument, AnUpdateCarriesOnlyTheChangedItem) {
    report.start({"a_1", "b_2", "c_3"});
    report.setItem(1, Status::Failed, "Not authorized");
    ASSERT_EQ(rig.diffs.size(), 2);
    EXPECT_EQ(rig.lastDiff(),
              (QJsonObject{{"batch", QJsonObject{{"items", QJsonArray{item("b_2", "failed",
                                                                           "Not authorized")}}}}}));
    // The same status and message again is no change.
    report.setItem(1, Status::Failed, "Not authorized");
    EXPECT_EQ(rig.diffs.size(), 2);
}

TEST_F(BatchDocument, TheEndCarriesStateAndFinishedTimeWithoutItems) {
    report.start({"a_1"});
    report.setItem(0, Status::Done);
    const QDateTime finished = started.addSecs(90);
    clock.set(finished);
    report.finish(BatchReport::State::Cancelled);
    QJsonObject end;
    for (int i = 2; i < rig.diffs.size(); ++i) {
        const QJsonObject part = batchOf(i).toObject();
        EXPECT_FALSE(part.contains("items"));
        for (auto key = part.begin(); key != part.end(); ++key) {
            end.insert(key.key(), key.value());
        }
    }
    EXPECT_EQ(end, (QJsonObject{{"state", "cancelled"},
                                {"finishedTime", finished.toString(Qt::ISODate)}}));
    EXPECT_EQ(report.toJson().toObject()["finishedTime"], finished.toString(Qt::ISODate));
}

TEST_F(BatchDocument, CoalescedChangesKeepTheLatestOfEachItemInFirstChangeOrder) {
    rig.cache->setCoalescing(true);
    rig.cache->setCoalesceMaxAge(600000);
    report.start({"a_1", "b_2", "c_3"});
    report.setItem(0, Status::Sent);
    report.setItem(2, Status::Sent);
    report.setItem(0, Status::Processing);
    QCoreApplication::processEvents();
    ASSERT_EQ(rig.diffs.size(), 1);
    // A job started in this diff goes out whole, with its latest items.
    EXPECT_EQ(batchOf(0).toObject()["items"],
              (QJsonArray{item("a_1", "processing"), item("b_2", "pending"), item("c_3", "sent")}));
    EXPECT_EQ(batchOf(0).toObject()["state"], "running");

    report.setItem(2, Status::Failed, "Invalid rights");
    report.setItem(0, Status::Rebooting);
    report.setItem(0, Status::Done);
    QCoreApplication::processEvents();
    ASSERT_EQ(rig.diffs.size(), 2);
    EXPECT_EQ(batchOf(1), (QJsonObject{{"items", QJsonArray{item("c_3", "failed", "Invalid rights"),
                                                            item("a_1", "done")}}}));
}

TEST_F(BatchDocument, ANewJobReplacesTheLastReportInTheSameDiff) {
    rig.cache->setCoalescing(true);
    rig.cache->setCoalesceMaxAge(600000);
    report.start({"a_1"});
    report.setItem(0, Status::Failed, "Not authorized");
    report.finish(BatchReport::State::Done);
    report.start({"b_2"});
    QCoreApplication::processEvents();
    ASSERT_EQ(rig.diffs.size(), 1);
    const QJsonObject batch = batchOf(0).toObject();
    EXPECT_EQ(batch["state"], "running");
    EXPECT_TRUE(batch["finishedTime"].isNull());
    EXPECT_EQ(batch["items"], QJsonArray{item("b_2", "pending")});
}
