#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <mutex>

#include "FakeProtocolEngine.h"
#include "QtWait.h"
#include "app/Backend.h"
#include "device/AutoScanner.h"
#include "device/NICModel.h"
#include "lanfinder/Version.h"
#include "state/AppNotification.h"
#include "state/Device.h"
#include "state/DeviceStore.h"
#include "state/StateCache.h"

namespace {

using testsupport::pumpUntil;

NIC makeCard(const QString& name, const QString& mac, const QString& ip) {
    NIC card;
    card.name.set(name);
    card.mac.set(mac);
    card.addresses.set({NIC::Address(ip, "255.255.255.0")});
    card.gateways.set({"0.0.0.0"});
    return card;
}

// The card list the backend reads, changed by the test from the main thread
// while the watch thread reads it.
class FakeCards {
public:
    QVector<NIC> query() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_cards;
    }
    void set(const QVector<NIC>& cards) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cards = cards;
    }

private:
    std::mutex m_mutex;
    QVector<NIC> m_cards{makeCard("eth0", "00:11:22:33:44:55", "10.0.0.1")};
};

QJsonObject favouriteDevice() {
    Device device("1234_5678");
    device.name.set("Line camera");
    device.isFavorite.set(true);
    device.lastSeen.set(QDateTime::currentDateTime());
    return device.toJson().toObject();
}

class BackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        QFile(folder.filePath("de.json")).open(QIODevice::WriteOnly);
        QFile(folder.filePath("en.json")).open(QIODevice::WriteOnly);
    }

    void TearDown() override {
        cache.reset();
        backend.reset();
    }

    BackendOptions options(std::chrono::milliseconds period = std::chrono::milliseconds(50)) {
        BackendOptions o;
        o.queryCards = [this] { return cards.query(); };
        o.makeEngine = [this](IProtocolProvider provider) {
            EXPECT_TRUE(static_cast<bool>(provider));
            auto made = QSharedPointer<fakes::FakeProtocolEngine>::create();
            engine = made.data();
            return made;
        };
        o.settingsPath = folder.filePath("Settings.json");
        o.languageFolder = folder.path();
        o.cardWatchPeriod = period;
        return o;
    }

    // A backend with the state cache registered, its diffs recorded.
    void build(std::chrono::milliseconds period = std::chrono::milliseconds(50)) {
        backend = QSharedPointer<Backend>::create(options(period));
        watchCache();
    }

    void watchCache() {
        cache = std::make_unique<StateCache>(backend.data());
        cacheInstance(cache.get());
        QObject::connect(cache.get(), &StateCache::cacheUpdated, [this](QByteArray diff) {
            if (!diff.isEmpty()) {
                diffs.append(QJsonDocument::fromJson(diff).object());
            }
        });
    }

    QVector<QJsonObject> diffsWithKey(const QString& key) const {
        QVector<QJsonObject> found;
        for (const QJsonObject& diff : diffs) {
            if (diff.contains(key)) {
                found.append(diff);
            }
        }
        return found;
    }

    // Also checks that the text the browsers get is the whole document
    // written at once.
    QJsonObject fullState() const {
        const QJsonObject state = backend->toJson().toObject();
        EXPECT_EQ(backend->fullStateText(), QJsonDocument(state).toJson(QJsonDocument::Indented));
        return state;
    }

    QTemporaryDir folder;
    FakeCards cards;
    fakes::FakeProtocolEngine* engine = nullptr;
    QSharedPointer<Backend> backend;
    std::unique_ptr<StateCache> cache;
    QVector<QJsonObject> diffs;
};

}  // namespace

TEST_F(BackendTest, AFreshBackendHasTheDefaultFullState) {
    build();
    const QJsonObject state = fullState();
    QStringList keys = state.keys();
    EXPECT_EQ(keys, (QStringList{"autoScanner", "batch", "devices", "language", "languages", "nics",
                                 "protocolState", "theme", "version"}));
    EXPECT_TRUE(state["batch"].isNull());
    EXPECT_EQ(state["language"].toString(), "en");
    EXPECT_EQ(state["theme"].toString(), "light");
    EXPECT_EQ(state["version"].toString(), QString::fromLatin1(lanfinder::version));
    EXPECT_EQ(state["protocolState"].toObject(),
              (QJsonObject{{"available", true}, {"details", ""}}));
    EXPECT_EQ(state["devices"].toObject(), (QJsonObject{{"list", QJsonArray()}}));
    QStringList languages;
    for (const QJsonValue& code : state["languages"].toArray()) {
        languages << code.toString();
    }
    languages.sort();
    EXPECT_EQ(languages, (QStringList{"de", "en"}));
    ASSERT_EQ(state["nics"].toArray().size(), 1);
    EXPECT_EQ(state["nics"].toArray()[0].toObject()["name"].toString(), "eth0");
    EXPECT_EQ(state["autoScanner"].toObject().keys(),
              (QStringList{"isActive", "lastScanTime", "scanIntervalMs"}));
}

TEST_F(BackendTest, ThemeRaisesOneEventPerRealChange) {
    build();
    backend->setTheme("light");
    EXPECT_TRUE(diffsWithKey("theme").isEmpty());
    backend->setTheme("dark");
    ASSERT_EQ(diffsWithKey("theme").size(), 1);
    EXPECT_EQ(diffsWithKey("theme")[0], (QJsonObject{{"theme", "dark"}}));
    backend->setLanguage("de");
    ASSERT_EQ(diffsWithKey("language").size(), 1);
    EXPECT_EQ(diffsWithKey("language")[0]["language"].toString(), "de");
}

TEST_F(BackendTest, ProtocolStateIsPublishedWhenAvailabilityChanges) {
    build();
    emit engine->stateChanged(IProtocolEngine::InitializationFailed, "10.0.0.1:33002");
    emit engine->stateChanged(IProtocolEngine::InitializationFailed, "10.0.0.2:33002");
    ASSERT_EQ(diffsWithKey("protocolState").size(), 1);
    EXPECT_EQ(diffsWithKey("protocolState")[0]["protocolState"].toObject(),
              (QJsonObject{{"available", false}, {"details", "10.0.0.1:33002"}}));
    EXPECT_EQ(backend->protocolState.details.get(), "10.0.0.2:33002");

    for (auto other : {IProtocolEngine::Initializing, IProtocolEngine::BadFactory,
                       IProtocolEngine::Interrupted, IProtocolEngine::Stopped}) {
        emit engine->stateChanged(other, "ignored");
    }
    EXPECT_EQ(diffsWithKey("protocolState").size(), 1);
    EXPECT_EQ(backend->protocolState.details.get(), "10.0.0.2:33002");

    emit engine->stateChanged(IProtocolEngine::Running, QString());
    ASSERT_EQ(diffsWithKey("protocolState").size(), 2);
    EXPECT_EQ(diffsWithKey("protocolState")[1]["protocolState"].toObject(),
              (QJsonObject{{"available", true}, {"details", ""}}));
}

TEST_F(BackendTest, BrowserCountsStartAndStopTheEngine) {
    build();
    backend->handleActiveConnections(2);
    EXPECT_EQ(engine->starts, 1);
    EXPECT_EQ(engine->stops, 0);
    backend->handleActiveConnections(0);
    EXPECT_EQ(engine->stops, 1);
    backend->handleActiveConnections(1);
    EXPECT_EQ(engine->starts, 2);
    EXPECT_EQ(engine->stops, 1);
}

TEST_F(BackendTest, StartEnablesScanningAndRunsTheEngineOnce) {
    build();
    backend->start();
    EXPECT_EQ(engine->starts, 1);
    EXPECT_EQ(engine->scans, 1);
    EXPECT_TRUE(backend->autoScanner().isActive.get());
}

TEST_F(BackendTest, ACardChangeRestartsTheEngineOnceAndPublishesTheCards) {
    build();
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(engine->stops, 0);
    EXPECT_TRUE(diffsWithKey("nics").isEmpty());

    cards.set({makeCard("eth0", "00:11:22:33:44:55", "10.0.0.1"),
               makeCard("eth1", "00:11:22:33:44:66", "192.168.1.10")});
    ASSERT_TRUE(pumpUntil([&] { return !diffsWithKey("nics").isEmpty(); }, 5000));
    pumpUntil([] { return false; }, 300);  // several unchanged periods
    EXPECT_EQ(engine->stops, 1);
    EXPECT_EQ(engine->starts, 1);
    ASSERT_EQ(diffsWithKey("nics").size(), 1);
    EXPECT_EQ(diffsWithKey("nics")[0]["nics"].toArray().size(), 2);
    EXPECT_EQ(backend->nics().items().size(), 2);

    cards.set({});
    ASSERT_TRUE(pumpUntil([&] { return diffsWithKey("nics").size() == 2; }, 5000));
    EXPECT_EQ(diffsWithKey("nics")[1]["nics"].toArray().size(), 0);
    EXPECT_EQ(engine->stops, 2);
}

TEST_F(BackendTest, DestructionDoesNotWaitForTheWatchPeriod) {
    build(std::chrono::seconds(10));
    cache.reset();
    QElapsedTimer timer;
    timer.start();
    backend.reset();
    EXPECT_LT(timer.elapsed(), 1000);
}

TEST_F(BackendTest, RejectedMessagesAreNotAnsweredAndAcceptedOnesAre) {
    build();
    QVector<Result> answers;
    QObject::connect(backend.data(), &Backend::guiMessageHandled,
                     [&](Result result) { answers.append(result); });
    backend->handleGuiMessage(5, "not json");
    backend->handleGuiMessage(5, R"({"reqType":"SetTheme","theme":"dark"})");
    EXPECT_TRUE(answers.isEmpty());
    EXPECT_EQ(backend->theme.get(), "light");

    backend->handleGuiMessage(6, R"({"reqType":"SetTheme","reqId":"r","theme":"dark"})");
    ASSERT_EQ(answers.size(), 1);
    EXPECT_EQ(answers[0].clientID, 6u);
    EXPECT_EQ(answers[0].status, ResultStatus::OK);
    EXPECT_EQ(answers[0].reqId, "r");
    EXPECT_EQ(backend->theme.get(), "dark");

    QFile file(backend->settingsPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(file.readAll()).object()["theme"].toString(), "dark");
}

TEST_F(BackendTest, ASaveThatFailsTellsTheUserAndOneThatWorksDoesNot) {
    build();
    backend->saveSettings();
    EXPECT_TRUE(backend->takeNotifications().isEmpty());

    // A file where the settings folder should be: nothing can be written.
    BackendOptions o = options();
    QFile blocker(folder.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    o.settingsPath = folder.filePath("blocked/Settings.json");
    backend = QSharedPointer<Backend>::create(o);
    watchCache();
    backend->handleGuiMessage(1, R"({"reqType":"SetTheme","reqId":"t","theme":"dark"})");
    EXPECT_EQ(backend->theme.get(), "dark");
    const auto notes = backend->takeNotifications();
    ASSERT_EQ(notes.size(), 1);
    EXPECT_EQ(notes[0]->message.get(), "Settings could not be saved");
}

TEST_F(BackendTest, SettingsHoldOnlyFavourites) {
    build();
    QJsonObject other = favouriteDevice();
    other["id"] = "9999_0000";
    other["isFavorite"] = false;
    backend->fromJson(
        QJsonObject{{"language", "de"},
                    {"theme", "dark"},
                    {"devices", QJsonObject{{"list", QJsonArray{favouriteDevice(), other}}}}});
    EXPECT_EQ(backend->devices().items().size(), 2);
    // Asked twice and after a change: the kept text stays the whole document.
    EXPECT_EQ(fullState()["devices"].toObject()["list"].toArray().size(), 2);
    backend->devices().items()[1]->name.set(QStringLiteral("renamed"));
    EXPECT_EQ(fullState()["devices"].toObject()["list"].toArray()[1].toObject()["name"], "renamed");
    const QJsonObject settings = backend->settingsJson();
    EXPECT_EQ(settings.keys(), (QStringList{"devices", "language", "remoteAccess", "theme"}));
    const QJsonArray list = settings["devices"].toObject()["list"].toArray();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].toObject()["id"].toString(), "1234_5678");
}

TEST_F(BackendTest, CreateBackendAppliesValidSettings) {
    const QJsonObject settings{{"language", "de"},
                               {"theme", "dark"},
                               {"devices", QJsonObject{{"list", QJsonArray{favouriteDevice()}}}}};
    backend = createBackend(QJsonDocument(settings), options());
    EXPECT_EQ(backend->language.get(), "de");
    EXPECT_EQ(backend->theme.get(), "dark");
    ASSERT_EQ(backend->devices().items().size(), 1);
    const QSharedPointer<Device> device = backend->devices().items()[0];
    EXPECT_TRUE(device->isFavorite.get());
    EXPECT_TRUE(device->isMissing.get());
}

struct RemoteAccessCase {
    const char* name;
    QJsonValue stored;  // undefined: the key is absent
    bool expected;
};

class BackendRemoteAccess : public BackendTest,
                            public ::testing::WithParamInterface<RemoteAccessCase> {};

TEST_P(BackendRemoteAccess, OnlyAnExplicitTrueOpensTheServerAndIsWrittenBack) {
    QJsonObject settings{{"language", "de"}, {"theme", "dark"}};
    if (!GetParam().stored.isUndefined()) {
        settings.insert("remoteAccess", GetParam().stored);
    }
    backend = createBackend(QJsonDocument(settings), options());
    EXPECT_EQ(backend->remoteAccess(), GetParam().expected);
    EXPECT_EQ(backend->language.get(), "de");
    EXPECT_EQ(backend->settingsJson().value("remoteAccess"), QJsonValue(GetParam().expected));
    EXPECT_FALSE(backend->toJson().toObject().contains("remoteAccess"));
}

INSTANTIATE_TEST_SUITE_P(Table, BackendRemoteAccess,
                         ::testing::Values(RemoteAccessCase{"True", QJsonValue(true), true},
                                           RemoteAccessCase{"False", QJsonValue(false), false},
                                           RemoteAccessCase{
                                               "Missing", QJsonValue(QJsonValue::Undefined), false},
                                           RemoteAccessCase{"Text", QJsonValue("true"), false},
                                           RemoteAccessCase{"Number", QJsonValue(1), false},
                                           RemoteAccessCase{"Null", QJsonValue(), false}),
                         [](const ::testing::TestParamInfo<RemoteAccessCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(BackendTest, CreateBackendWithoutADocumentKeepsTheDefaults) {
    backend = createBackend(QJsonDocument(), options());
    EXPECT_EQ(backend->language.get(), "en");
    EXPECT_EQ(backend->theme.get(), "light");
    EXPECT_TRUE(backend->devices().items().isEmpty());
}

TEST_F(BackendTest, CreateBackendWithoutDevicesLoadsLanguageAndTheme) {
    backend =
        createBackend(QJsonDocument(QJsonObject{{"language", "fr"}, {"theme", "dark"}}), options());
    EXPECT_EQ(backend->language.get(), "fr");
    EXPECT_TRUE(backend->devices().items().isEmpty());
}

TEST_F(BackendTest, AnInvalidSettingsFileIsKeptAsideAndDefaultsAreUsed) {
    const QByteArray original = R"({"theme":"dark","devices":{"list":[]}})";
    const QString path = folder.filePath("Settings.json");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(original);
    }
    backend = createBackend(QJsonDocument::fromJson(original), options());
    EXPECT_EQ(backend->theme.get(), "light");
    EXPECT_EQ(backend->language.get(), "en");

    backend->saveSettings();
    QFile kept(path + ".invalid");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << "the invalid file was not kept aside";
    EXPECT_EQ(kept.readAll(), original);
}

TEST_F(BackendTest, ASettingsArrayFailsOnTheMissingLanguage) {
    EXPECT_THROW(
        {
            build();
            backend->loadSettings(QJsonArray{1, 2});
        },
        QString);
    try {
        backend->loadSettings(QJsonArray{1, 2});
    } catch (const QString& message) {
        EXPECT_EQ(message, "language not found");
    }
}
