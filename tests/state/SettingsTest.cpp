#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "StateTestSupport.h"
#include "state/PrivateFiles.h"
#include "state/Settings.h"

using namespace statetest;

namespace {

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// What the backend reads from a settings document, with the same readers.
struct LoadedSettings {
    PropertyValue<QString> language{"language", QStringLiteral("en")};
    PropertyValue<QString> theme{"theme", QStringLiteral("light")};
    DeviceStore devices;

    // The validation message, or "" when the document loads.
    QString load(const QJsonDocument& document) {
        try {
            const QJsonObject object = document.object();
            readJsonProperty(language, object);
            readJsonProperty(theme, object);
            devices.loadPersisted(object.value("devices").toObject().value("list"));
        } catch (const QString& message) {
            return message;
        }
        return QString();
    }
};

// Makes writes beyond a few bytes fail as on a full disk, for one scope.
class FullDisk {
public:
    FullDisk() {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit tiny = m_saved;
        tiny.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~FullDisk() { setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved{};
};

}  // namespace

class SettingsFile : public ::testing::Test {
protected:
    QString path(const QString& name = QStringLiteral("Settings.json")) const {
        return dir.path() + "/" + name;
    }
    QTemporaryDir dir;
};

TEST(SettingsPaths, FollowTheDataLocationAndTheWorkingDirectory) {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    EXPECT_EQ(settingsFilePath(), data + "/Settings.json");
    EXPECT_EQ(logFolderPath(), data + "/logs/");
    EXPECT_EQ(webFolderPath(), QDir::currentPath() + "/../www/lnf/");
}

TEST_F(SettingsFile, FirstRunReadsNothingAndLogsWhy) {
    LogCapture log;
    EXPECT_TRUE(readJsonFile(path()).isNull());
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].endsWith(" " + path()));
    EXPECT_FALSE(QFile::exists(path() + ".invalid"));
}

TEST_F(SettingsFile, SaveCreatesMissingFoldersAndReadsBack) {
    const QString nested = dir.path() + "/a/b/Settings.json";
    const QJsonObject settings{
        {"devices", QJsonObject{{"list", QJsonArray()}}}, {"language", "en"}, {"theme", "dark"}};
    ASSERT_TRUE(writeJsonFile(nested, QJsonDocument(settings)));
    EXPECT_EQ(readBytes(nested), QJsonDocument(settings).toJson());
    EXPECT_EQ(readJsonFile(nested).object(), settings);
}

TEST_F(SettingsFile, OnlyThemeFailsOnTheMissingLanguage) {
    writeBytes(path(), R"({"theme": "dark"})");
    LoadedSettings loaded;
    EXPECT_EQ(loaded.load(readJsonFile(path())), QStringLiteral("language not found"));
}

TEST_F(SettingsFile, TopLevelArrayFailsOnTheMissingLanguage) {
    writeBytes(path(), R"([{"language": "de", "theme": "dark"}])");
    const QJsonDocument document = readJsonFile(path());
    ASSERT_FALSE(document.isNull());
    LoadedSettings loaded;
    EXPECT_EQ(loaded.load(document), QStringLiteral("language not found"));
}

TEST_F(SettingsFile, EmptyFileIsInvalidJsonAndNothingIsKeptAside) {
    writeBytes(path(), "");
    LogCapture log;
    EXPECT_TRUE(readJsonFile(path()).isNull());
    EXPECT_TRUE(log.contains("File " + path() + " invalid JSON: "));
    EXPECT_FALSE(QFile::exists(path() + ".invalid"));
}

TEST_F(SettingsFile, WithoutDevicesLoadsLanguageAndThemeOnly) {
    writeBytes(path(), R"({"language": "de", "theme": null})");
    LoadedSettings loaded;
    EXPECT_EQ(loaded.load(readJsonFile(path())), QString());
    EXPECT_EQ(loaded.language.get(), QStringLiteral("de"));
    EXPECT_EQ(loaded.theme.get(), QString());
    EXPECT_TRUE(loaded.devices.items().isEmpty());
}

TEST_F(SettingsFile, FavouritesComeBackMissingAndIdle) {
    auto favourite = sampleDevice("va2000_000123");
    favourite->isMissing.set(false);
    const QJsonObject settings{{"devices", QJsonObject{{"list", QJsonArray{favourite->toJson()}}}},
                               {"language", "en"},
                               {"theme", "light"}};
    ASSERT_TRUE(writeJsonFile(path(), QJsonDocument(settings)));

    LoadedSettings loaded;
    ASSERT_EQ(loaded.load(readJsonFile(path())), QString());
    ASSERT_EQ(loaded.devices.items().size(), 1);
    const auto& device = loaded.devices.items().first();
    EXPECT_TRUE(device->isFavorite.get());
    EXPECT_TRUE(device->isMissing.get());
    EXPECT_FALSE(device->isProcessing.get());
    EXPECT_FALSE(device->isRebooting.get());
    EXPECT_EQ(device->name.get(), favourite->name.get());
    EXPECT_EQ(device->lastSeen.get(), favourite->lastSeen.get());
}

TEST_F(SettingsFile, InvalidJsonIsKeptAsideBeforeAnythingOverwritesIt) {
    const QByteArray broken = R"({"language": "de", "devices": {"list": [)";
    writeBytes(path(), broken);
    LogCapture log;

    EXPECT_TRUE(readJsonFile(path()).isNull());

    EXPECT_EQ(readBytes(path() + ".invalid"), broken);
    EXPECT_TRUE(log.contains("File " + path() + " invalid JSON: "));
    EXPECT_TRUE(log.contains(path() + ".invalid"));
}

TEST_F(SettingsFile, TheSameBrokenFileIsKeptOnceAndADifferentOneBesideIt) {
    writeBytes(path(), "{ first");
    readJsonFile(path());
    readJsonFile(path());
    EXPECT_FALSE(QFile::exists(path() + ".invalid.2"));

    writeBytes(path(), "{ second");
    readJsonFile(path());
    EXPECT_EQ(readBytes(path() + ".invalid"), "{ first");
    EXPECT_EQ(readBytes(path() + ".invalid.2"), "{ second");
}

TEST_F(SettingsFile, ValidationFailureCanKeepTheFileAside) {
    writeBytes(path(), R"({"theme": "dark"})");
    EXPECT_EQ(keepInvalidSettingsFile(path()), path() + ".invalid");
    EXPECT_EQ(readBytes(path() + ".invalid"), R"({"theme": "dark"})");
    EXPECT_EQ(keepInvalidSettingsFile(path("absent.json")), QString());
}

TEST_F(SettingsFile, FailedSaveKeepsThePreviousFileWhole) {
    const QByteArray previous = R"({"language":"de"})";
    writeBytes(path(), previous);
    bool written = true;
    QStringList lines;
    {
        LogCapture log;
        FullDisk full;
        written = writeFile(path(), QByteArray(4096, ' '), true);
        lines = log.lines();
    }
    EXPECT_FALSE(written);
    // The log says why, not "Unknown error".
    EXPECT_TRUE(
        lines.contains("File could not be written: " + path() + " (only 16 of 4096 bytes written)"))
        << lines.join("\n").toStdString();
    EXPECT_EQ(readBytes(path()), previous);
    const QStringList leftovers = QDir(dir.path()).entryList(QDir::Files);
    EXPECT_EQ(leftovers, QStringList{"Settings.json"});
}

TEST_F(SettingsFile, FolderThatCannotBeCreatedFailsTheSave) {
    writeBytes(path("plain"), "a file, not a folder");
    const QString target = path("plain") + "/sub/Settings.json";
    LogCapture log;
    EXPECT_FALSE(writeJsonFile(target, QJsonDocument(QJsonObject{{"theme", "dark"}})));
    EXPECT_TRUE(log.lines().contains("Directory could not be created: " + path("plain") + "/sub"));
    EXPECT_TRUE(log.lines().contains("File could not be created: " + target));
    EXPECT_TRUE(log.lines().contains("File could not be opened: " + target));
}

TEST_F(SettingsFile, WithoutCreateIfMissingAMissingFolderIsNotCreated) {
    const QString target = dir.path() + "/none/Settings.json";
    EXPECT_FALSE(writeFile(target, "{}", false));
    EXPECT_FALSE(QDir(dir.path() + "/none").exists());
}

// --- Modes of the user's files ----------------------------------------------------

static mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A data location of its own under XDG_DATA_HOME, and a umask that would
// leave everything readable to everybody.
class PrivateData : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        m_savedMask = ::umask(0);
        data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    }
    void TearDown() override {
        ::umask(m_savedMask);
        qputenv("XDG_DATA_HOME", m_savedHome);
    }

    QTemporaryDir home;
    QString data;

private:
    QByteArray m_savedHome;
    mode_t m_savedMask = 022;
};

TEST_F(PrivateData, NewFoldersAndFilesAreTheUsersAlone) {
    ASSERT_TRUE(data.startsWith(home.path()));
    ASSERT_TRUE(writeJsonFile(settingsFilePath(), QJsonDocument(QJsonObject{{"theme", "dark"}})));
    EXPECT_EQ(modeOf(data), 0700u);
    EXPECT_EQ(modeOf(settingsFilePath()), 0600u);
    EXPECT_TRUE(securePrivateData());
    EXPECT_EQ(modeOf(logFolderPath()), 0700u);
}

TEST_F(PrivateData, LooseFilesFromEarlierRunsAreTightened) {
    ASSERT_TRUE(QDir().mkpath(logFolderPath()));
    ::chmod(QFile::encodeName(data).constData(), 0755);
    ::chmod(QFile::encodeName(logFolderPath()).constData(), 0777);
    writeBytes(settingsFilePath(), "{}");
    writeBytes(logFolderPath() + "lanfinder.log", "old line\n");
    writeBytes(logFolderPath() + "lanfinder.1.log", "older line\n");
    for (const QString& file : {settingsFilePath(), logFolderPath() + "lanfinder.log",
                                logFolderPath() + "lanfinder.1.log"}) {
        ::chmod(QFile::encodeName(file).constData(), 0644);
    }

    EXPECT_TRUE(securePrivateData());
    EXPECT_EQ(modeOf(data), 0700u);
    EXPECT_EQ(modeOf(logFolderPath()), 0700u);
    EXPECT_EQ(modeOf(settingsFilePath()), 0600u);
    EXPECT_EQ(modeOf(logFolderPath() + "lanfinder.log"), 0600u);
    EXPECT_EQ(modeOf(logFolderPath() + "lanfinder.1.log"), 0600u);

    // Saving over the tightened file keeps it private.
    ASSERT_TRUE(writeJsonFile(settingsFilePath(), QJsonDocument(QJsonObject{{"theme", "x"}})));
    EXPECT_EQ(modeOf(settingsFilePath()), 0600u);
}

TEST_F(PrivateData, ALinkInPlaceOfAFileOrFolderIsLeftAlone) {
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath("target");
    writeBytes(target, "x");
    ::chmod(QFile::encodeName(target).constData(), 0644);
    ASSERT_TRUE(QDir().mkpath(data));
    ASSERT_TRUE(QFile::link(target, settingsFilePath()));
    EXPECT_FALSE(tightenPrivateFile(settingsFilePath()));
    EXPECT_EQ(modeOf(target), 0644u) << "the link's target is not ours to change";

    const QString linkedFolder = home.filePath("linked");
    ASSERT_TRUE(QFile::link(elsewhere.path(), linkedFolder));
    EXPECT_FALSE(ensurePrivateFolder(linkedFolder));
    EXPECT_FALSE(isPrivateFolder(linkedFolder));
}
