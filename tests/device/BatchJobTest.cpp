#include <gtest/gtest.h>

#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "device/BatchJob.h"
#include "device/ChangeCheck.h"
#include "state/BatchReport.h"

namespace {

using Status = BatchReport::Status;
using sdk::system::network_method_type;

SetConfigurationRequest change(const QString& id, const QString& ip,
                               network_method_type method = network_method_type::PERSISTENT_IP) {
    SetConfigurationRequest item;
    item.deviceId = id;
    item.name = id;
    item.ip = ip;
    item.subnetMask = QStringLiteral("255.255.255.0");
    item.networkMethod = method;
    item.username = QStringLiteral("admin");
    // Built at run time: a literal is read-only memory that no wipe touches.
    item.password = QString::fromUtf8("secret");
    return item;
}

// n items on consecutive fixed addresses.
QVector<SetConfigurationRequest> plan(int n) {
    QVector<SetConfigurationRequest> items;
    for (int i = 0; i < n; ++i) {
        items.append(
            change(QStringLiteral("dev%1").arg(i), QStringLiteral("10.0.0.%1").arg(i + 1)));
    }
    return items;
}

// Stands for the event processor: records what goes out and how many
// requests were open at the moment of each send.
class BatchJobTest : public ::testing::Test {
protected:
    void build(QVector<SetConfigurationRequest> items, BatchJob::PreFlight preFlight = {}) {
        BatchJob::Environment environment;
        environment.send = [this](const SetConfigurationRequest& item) {
            sent << item.deviceId;
            passwordsSeen << item.password;
            maxOpen = std::max(maxOpen, job->inFlight());
            if (onSend) {
                onSend(item);
            }
        };
        environment.known = [this](const QString& id) { return !unknown.contains(id); };
        environment.preFlight = std::move(preFlight);
        job = std::make_unique<BatchJob>(std::move(items), report, std::move(environment));
    }

    QStringList statuses() const {
        QStringList out;
        for (const auto& item : report.items()) {
            out << BatchReport::text(item.status);
        }
        return out;
    }
    int count(Status status) const {
        int n = 0;
        for (const auto& item : report.items()) {
            n += item.status == status ? 1 : 0;
        }
        return n;
    }
    const BatchReport::Item& item(int index) const { return report.items().at(index); }
    void succeed(const QString& id) { job->onStep(id, ConfigurationStep::Succeeded, QString()); }

    BatchReport report;
    std::unique_ptr<BatchJob> job;
    QStringList sent;
    QStringList passwordsSeen;
    QSet<QString> unknown;
    int maxOpen = 0;
    std::function<void(const SetConfigurationRequest&)> onSend;
};

}  // namespace

TEST_F(BatchJobTest, AtMostEightInFlightAndTheNextStartsWhenOneEnds) {
    build(plan(20));
    job->start();
    EXPECT_EQ(sent.size(), BatchJob::maxInFlight);
    EXPECT_EQ(count(Status::Sent), 8);
    EXPECT_EQ(count(Status::Pending), 12);

    // Steps that are not an end leave no room for another.
    job->onStep("dev0", ConfigurationStep::Processing, QString());
    job->onStep("dev0", ConfigurationStep::Rebooting, QString());
    EXPECT_EQ(sent.size(), 8);
    EXPECT_EQ(item(0).status, Status::Rebooting);

    succeed("dev0");
    ASSERT_EQ(sent.size(), 9);
    EXPECT_EQ(sent.last(), "dev8");
    job->onStep("dev3", ConfigurationStep::Failed, "Not authorized");
    EXPECT_EQ(sent.last(), "dev9");

    // Drain in request order.
    for (int i = 1; i < 20; ++i) {
        if (i != 3) {
            succeed(QStringLiteral("dev%1").arg(i));
        }
    }
    EXPECT_EQ(sent.size(), 20);
    EXPECT_EQ(maxOpen, 8);
    EXPECT_FALSE(job->isRunning());
    EXPECT_EQ(report.state(), BatchReport::State::Done);
    EXPECT_EQ(count(Status::Done), 19);
    EXPECT_EQ(item(3).status, Status::Failed);
    EXPECT_EQ(item(3).message, "Not authorized");
}

TEST_F(BatchJobTest, EveryItemEndsInExactlyOneFinalStatus) {
    struct Row {
        std::vector<ConfigurationStep> steps;
        QString message;
        Status final;
    };
    const std::vector<Row> rows = {
        {{ConfigurationStep::Succeeded}, "", Status::Done},
        {{ConfigurationStep::Processing, ConfigurationStep::Rebooting,
          ConfigurationStep::Succeeded},
         "",
         Status::Done},
        {{ConfigurationStep::Failed}, "Not authorized", Status::Failed},
        {{ConfigurationStep::Processing, ConfigurationStep::Failed},
         "Configuration request operation timeout",
         Status::Failed},
        {{ConfigurationStep::Failed}, "No answer from the device", Status::Failed},
        // A later step of an ended item changes nothing.
        {{ConfigurationStep::Succeeded, ConfigurationStep::Failed}, "late", Status::Done},
        {{ConfigurationStep::Failed, ConfigurationStep::Succeeded},
         "Invalid rights",
         Status::Failed},
    };
    build(plan(static_cast<int>(rows.size())));
    job->start();
    for (size_t i = 0; i < rows.size(); ++i) {
        for (const ConfigurationStep step : rows[i].steps) {
            job->onStep(QStringLiteral("dev%1").arg(i), step, rows[i].message);
        }
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(item(static_cast<int>(i)).status, rows[i].final);
        EXPECT_EQ(item(static_cast<int>(i)).message,
                  rows[i].final == Status::Failed ? rows[i].message : QString());
    }
    EXPECT_EQ(report.state(), BatchReport::State::Done);
    EXPECT_FALSE(report.toJson().toObject()["finishedTime"].isNull());
}

TEST_F(BatchJobTest, StepsOfOtherDevicesAndOfUnsentItemsAreIgnored) {
    build(plan(10));
    job->start();
    succeed("stranger");
    // dev9 waits for room: an outcome for it belongs to another request.
    succeed("dev9");
    EXPECT_EQ(item(9).status, Status::Pending);
    EXPECT_EQ(sent.size(), 8);
}

TEST_F(BatchJobTest, CancelStopsSendingAndLetsSentItemsFinish) {
    build(plan(20));
    job->start();
    succeed("dev0");
    succeed("dev1");
    ASSERT_EQ(sent.size(), 10);

    job->cancel();
    EXPECT_EQ(count(Status::Cancelled), 10);
    EXPECT_EQ(count(Status::Sent), 8);
    EXPECT_TRUE(job->isRunning());
    EXPECT_EQ(report.state(), BatchReport::State::Running);

    for (int i = 2; i < 10; ++i) {
        succeed(QStringLiteral("dev%1").arg(i));
    }
    EXPECT_EQ(sent.size(), 10);
    EXPECT_EQ(count(Status::Done), 10);
    EXPECT_FALSE(job->isRunning());
    EXPECT_EQ(report.state(), BatchReport::State::Cancelled);
    EXPECT_EQ(report.toJson().toObject()["state"].toString(), "cancelled");
}

TEST_F(BatchJobTest, CancelWithNothingInFlightEndsAtOnce) {
    std::vector<BatchJob::Verdict> verdicts;
    build(plan(3), [&verdicts](const SetConfigurationRequest&, BatchJob::Verdict done) {
        verdicts.push_back(std::move(done));
    });
    job->start();
    job->cancel();
    EXPECT_EQ(statuses(), (QStringList{"cancelled", "cancelled", "cancelled"}));
    EXPECT_EQ(report.state(), BatchReport::State::Cancelled);
    // Verdicts that come in afterwards send nothing.
    for (auto& verdict : verdicts) {
        verdict(QString());
    }
    EXPECT_TRUE(sent.isEmpty());
}

TEST_F(BatchJobTest, PreFlightFailuresAreNeverSent) {
    struct Row {
        const char* name;
        QVector<SetConfigurationRequest> items;
        QSet<QString> unknown;
        QStringList statuses;
        QStringList messages;
    };
    const std::vector<Row> rows = {
        {"fixed address planned twice",
         {change("a", "10.0.0.5"), change("b", "10.0.0.6"), change("c", "10.0.0.5")},
         {},
         {"failed", "sent", "failed"},
         {BatchJob::plannedTwice, "", BatchJob::plannedTwice}},
        {"the same text under DHCP is no plan",
         {change("a", "10.0.0.5", network_method_type::DHCP),
          change("b", "10.0.0.5", network_method_type::DHCP)},
         {},
         {"sent", "sent"},
         {"", ""}},
        {"one fixed and one DHCP on one text",
         {change("a", "10.0.0.5"), change("b", "10.0.0.5", network_method_type::DHCP)},
         {},
         {"sent", "sent"},
         {"", ""}},
        {"device not in the store",
         {change("a", "10.0.0.5"), change("gone", "10.0.0.6")},
         {"gone"},
         {"sent", "failed"},
         {"", ChangeCheck::deviceNotAvailable}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sent.clear();
        unknown = row.unknown;
        build(row.items);
        job->start();
        EXPECT_EQ(statuses(), row.statuses);
        QStringList messages;
        for (const auto& item : report.items()) {
            messages << item.message;
            if (item.status == Status::Failed) {
                EXPECT_FALSE(sent.contains(item.deviceId));
            }
        }
        EXPECT_EQ(messages, row.messages);
    }
}

TEST_F(BatchJobTest, NothingIsSentBeforeEveryVerdictIsIn) {
    std::vector<BatchJob::Verdict> verdicts;
    QStringList asked;
    build(plan(4), [&](const SetConfigurationRequest& item, BatchJob::Verdict done) {
        asked << item.deviceId;
        verdicts.push_back(std::move(done));
    });
    job->start();
    EXPECT_EQ(asked, (QStringList{"dev0", "dev1", "dev2", "dev3"}));
    verdicts[0](QString());
    verdicts[2](QStringLiteral("Address in use by abc_1"));
    verdicts[3](QString());
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_EQ(item(2).status, Status::Failed);
    EXPECT_EQ(item(2).message, "Address in use by abc_1");

    verdicts[1](QString());
    EXPECT_EQ(sent, (QStringList{"dev0", "dev1", "dev3"}));
    // A second verdict for one item counts once.
    verdicts[1](QStringLiteral("Invalid address"));
    EXPECT_EQ(item(1).status, Status::Sent);
}

TEST_F(BatchJobTest, AVerdictAfterTheJobIsGoneDoesNothing) {
    BatchJob::Verdict late;
    build(plan(1), [&late](const SetConfigurationRequest&, BatchJob::Verdict done) {
        late = std::move(done);
    });
    job->start();
    job.reset();
    late(QString());
    EXPECT_TRUE(sent.isEmpty());
}

TEST_F(BatchJobTest, AnOutcomeDuringTheSendKeepsTheQueueMoving) {
    // A device whose card is gone fails inside the send itself.
    onSend = [this](const SetConfigurationRequest& item) {
        job->onStep(item.deviceId, ConfigurationStep::Failed, "gone");
    };
    build(plan(12));
    job->start();
    EXPECT_EQ(sent.size(), 12);
    EXPECT_EQ(count(Status::Failed), 12);
    EXPECT_EQ(report.state(), BatchReport::State::Done);
}

TEST_F(BatchJobTest, EachPasswordIsWipedOnceItsItemIsSent) {
    build(plan(2));
    job->start();
    ASSERT_EQ(passwordsSeen.size(), 2);
    // The copies taken in the send share the job's characters.
    for (const QString& seen : passwordsSeen) {
        EXPECT_NE(seen, "secret");
    }
}
