#include <atomic>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include <gtest/gtest.h>

#include "NetLab.h"
#include "QtWait.h"
#include "StateTestSupport.h"
#include "state/Event.h"

using namespace statetest;
using testsupport::pumpUntil;

namespace {

class Raiser : public ICacheNotifier {};

int scannerValue(const QJsonObject& diff, const QString& key) {
    return diff.value("autoScanner").toObject().value(key).toInt(-1);
}

}  // namespace

TEST(StateCacheThreads, EventsFromAnotherThreadArriveInOrderWithoutWaitingForTheMainThread) {
    CacheRig rig;
    // The raiser finishes before the main thread handles anything: a thread
    // that the main thread joins must never wait for it.
    std::thread raiser([] {
        Raiser notifier;
        for (int i = 0; i < 200; ++i) {
            AutoScannerChanged event("scanIntervalMs", QJsonValue(i));
            notifier.notifyCache(&event);
        }
    });
    raiser.join();
    EXPECT_TRUE(rig.diffs.isEmpty());

    ASSERT_TRUE(pumpUntil([&] { return rig.diffs.size() == 200; }));
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(scannerValue(rig.diff(i), "scanIntervalMs"), i);
    }
}

TEST(StateCacheThreads, SeveralThreadsKeepEachTheirOwnOrder) {
    CacheRig rig;
    std::vector<std::thread> raisers;
    for (int t = 0; t < 4; ++t) {
        raisers.emplace_back([t] {
            Raiser notifier;
            const QString key = QStringLiteral("k%1").arg(t);
            for (int i = 0; i < 100; ++i) {
                DeviceChanged event(QStringLiteral("d_%1").arg(t), key, QJsonValue(i));
                notifier.notifyCache(&event);
            }
        });
    }
    for (auto& thread : raisers) {
        thread.join();
    }
    ASSERT_TRUE(pumpUntil([&] { return rig.diffs.size() == 400; }));
    std::vector<int> next(4, 0);
    for (int i = 0; i < rig.diffs.size(); ++i) {
        const QJsonArray updated =
            rig.diff(i).value("devices").toObject().value("updated").toArray();
        ASSERT_EQ(updated.size(), 1);
        const QJsonObject entry = updated[0].toObject();
        const int t = entry.value("id").toString().mid(2).toInt();
        EXPECT_EQ(entry.value(QStringLiteral("k%1").arg(t)).toInt(), next[t]++);
    }
    EXPECT_EQ(next, (std::vector<int>{100, 100, 100, 100}));
}

TEST(StateCacheThreads, AddedDeviceIsCopiedAsItWasWhenRaised) {
    CacheRig rig;
    std::thread raiser([] {
        Device device("a_1");
        device.name.set("as raised");
        {
            DeviceAdded event(&device);
            Raiser().notifyCache(&event);
        }
        device.name.set("changed later");
    });
    raiser.join();
    ASSERT_TRUE(pumpUntil([&] { return rig.diffs.size() == 3; }));
    const QJsonArray added = rig.diff(1).value("devices").toObject().value("added").toArray();
    ASSERT_EQ(added.size(), 1);
    EXPECT_EQ(added[0].toObject().value("name"), QJsonValue("as raised"));
}

TEST(StateCacheThreads, WorkerGetsAFullStateOfOneConsistentMoment) {
    CacheRig rig;
    // The main thread adds devices two at a time; a document taken between
    // the two adds would hold an odd number of devices.
    int added = 0;
    QTimer grower;
    QObject::connect(&grower, &QTimer::timeout, [&] {
        if (added >= 2000) {
            return;
        }
        rig.provider.devices.add(
            QSharedPointer<Device>::create(QStringLiteral("a_%1").arg(added++)));
        rig.provider.devices.add(
            QSharedPointer<Device>::create(QStringLiteral("a_%1").arg(added++)));
    });
    grower.start(0);

    std::atomic<int> done{0};
    std::vector<int> counts;
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            const QJsonObject state = parseObject(rig.cache->onFullStateRequested());
            counts.push_back(state.value("devices").toObject().value("list").toArray().size());
        }
        done = 1;
    });
    const bool finished = pumpUntil([&] { return done.load() == 1; }, 60000);
    grower.stop();
    worker.join();
    ASSERT_TRUE(finished);
    ASSERT_EQ(counts.size(), 50u);
    for (int count : counts) {
        EXPECT_EQ(count % 2, 0) << count;
    }
    EXPECT_EQ(rig.cache->pendingFullStateRequests(), 0);
}

TEST(StateCacheThreads, WorkerWaitingForTheFullStateIsReleasedWhenTheCacheIsDestroyed) {
    auto rig = std::make_unique<CacheRig>();
    std::atomic<bool> returned{false};
    QByteArray answer = "untouched";
    StateCache* cache = rig->cache.data();
    std::thread worker([&] {
        answer = cache->onFullStateRequested();
        returned = true;
    });
    // The main thread runs no event loop: only the destruction can answer.
    ASSERT_TRUE(
        testsupport::waitFor([&] { return cache->pendingFullStateRequests() == 1; }, 10000));
    EXPECT_FALSE(returned.load());

    rig.reset();

    EXPECT_TRUE(testsupport::waitFor([&] { return returned.load(); }, 10000));
    worker.join();
    EXPECT_TRUE(answer.isEmpty());
}

TEST(StateCacheThreads, WorkerGivesUpWhenTheMainThreadNeverAnswers) {
    CacheRig rig;
    rig.provider.devices.add(QSharedPointer<Device>::create("a_1"));
    rig.cache->setFullStateTimeout(100);
    std::atomic<bool> returned{false};
    QByteArray answer = "untouched";
    std::thread worker([&] {
        answer = rig.cache->onFullStateRequested();
        returned = true;
    });
    // No event loop runs on this thread while the worker waits.
    const bool gaveUp = testsupport::waitFor([&] { return returned.load(); }, 10000);
    worker.join();
    ASSERT_TRUE(gaveUp);
    EXPECT_TRUE(answer.isEmpty());
    EXPECT_EQ(rig.cache->pendingFullStateRequests(), 0);

    // The late build finds nobody waiting; the next request is answered.
    QCoreApplication::processEvents();
    rig.cache->setFullStateTimeout(StateCache::fullStateTimeoutMs);
    std::atomic<bool> done{false};
    std::thread second([&] {
        answer = rig.cache->onFullStateRequested();
        done = true;
    });
    const bool answered = pumpUntil([&] { return done.load(); });
    second.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(parseObject(answer).value("devices").toObject().value("list").toArray().size(), 1);
}

TEST(StateCacheThreads, EventsRaisedOnAnotherThreadAfterDestructionAreDropped) {
    auto rig = std::make_unique<CacheRig>();
    rig.reset();
    std::thread raiser([] {
        AppStateChanged event("theme", QJsonValue("dark"));
        Raiser().notifyCache(&event);
    });
    raiser.join();
    EXPECT_EQ(cacheInstance(), nullptr);
}

TEST(StateCacheThreads, QueuedEventsOfADestroyedCacheAreDiscarded) {
    auto rig = std::make_unique<CacheRig>();
    int emitted = 0;
    QObject::connect(rig->cache.data(), &StateCache::cacheUpdated,
                     [&](const QByteArray&) { ++emitted; });
    std::thread raiser([] {
        AppStateChanged event("theme", QJsonValue("dark"));
        Raiser().notifyCache(&event);
    });
    raiser.join();
    EXPECT_EQ(emitted, 0);
    rig.reset();
    // Delivering the queued event now would run on the freed cache.
    QCoreApplication::processEvents();
    EXPECT_EQ(emitted, 0);
}
