// The real lanfinder, started inside a private network namespace of the test
// (offscreen, with its own HOME, data folder, TMPDIR and runtime folder), so
// it never sees or sends on the machine's own interfaces.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>

#include "NetLab.h"
#include "WsClient.h"
#include "lanfinder/Version.h"

namespace {

using testsupport::NetLab;
using testsupport::WsClient;

QString runCommand(const std::string& command) {
    QString out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out += QString::fromUtf8(buffer, int(n));
        }
        ::pclose(pipe);
    }
    return out;
}

// The program beside this test binary (both live in <build>/bin), or in
// LANFINDER_BUILD_DIR/bin when that is set.
QString programPath() {
    const QString buildDir = qEnvironmentVariable("LANFINDER_BUILD_DIR");
    if (!buildDir.isEmpty()) {
        return buildDir + "/bin/lanfinder";
    }
    const QString self = QFileInfo("/proc/self/exe").symLinkTarget();
    return QFileInfo(self).absolutePath() + "/lanfinder";
}

class LanfinderProgram : public ::testing::Test {
protected:
    void SetUp() override {
        std::string whyNot;
        if (!NetLab::available(&whyNot)) {
            GTEST_SKIP() << whyNot;
        }
        program = programPath();
        ASSERT_TRUE(QFile::exists(program)) << program.toStdString();
        ASSERT_TRUE(root.isValid());

        lab = std::make_unique<NetLab>();
        ns = lab->addNamespace("shell");
        peer = lab->addNamespace("peer");
        lab->link(ns, "eth0", "10.77.0.1/24", peer, "eth0", "10.77.0.2/24");

        // The data folder carries a percent sign: log lines naming it must keep it.
        dataHome = root.filePath("data 100% done");
        for (const QString& dir : {root.filePath("home"), dataHome, root.filePath("tmp"),
                                   root.filePath("run"), root.filePath("bin")}) {
            ASSERT_TRUE(QDir().mkpath(dir));
        }
        ::chmod(root.filePath("run").toLocal8Bit().constData(), 0700);
        // Should anything ever try to start a browser, it lands here instead.
        const QString fakeOpener = root.filePath("bin/xdg-open");
        QFile script(fakeOpener);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QString("#!/bin/sh\necho \"$@\" >> '%1'\n")
                         .arg(root.filePath("browser-calls"))
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    std::map<std::string, std::string> environment() const {
        return {
            {"HOME", root.filePath("home").toStdString()},
            {"XDG_DATA_HOME", dataHome.toStdString()},
            {"XDG_CONFIG_HOME", root.filePath("home/.config").toStdString()},
            {"XDG_CACHE_HOME", root.filePath("home/.cache").toStdString()},
            {"XDG_RUNTIME_DIR", root.filePath("run").toStdString()},
            {"TMPDIR", root.filePath("tmp").toStdString()},
            {"QT_QPA_PLATFORM", "offscreen"},
            {"BROWSER", "true"},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""},
            {"PATH", (root.filePath("bin") + ":" + qEnvironmentVariable("PATH")).toStdString()}};
    }

    pid_t start(const QString& outputName = "output.txt") {
        return lab->spawn(ns, {program.toStdString()}, environment(),
                          root.filePath(outputName).toStdString());
    }

    QString appData() const { return dataHome + "/vostrel/lanfinder"; }
    QString settingsPath() const { return appData() + "/Settings.json"; }

    // All log files of the log folder, oldest rotation first.
    QString logText() const {
        QString text;
        QDirIterator it(appData() + "/logs", QDir::Files);
        QStringList files;
        while (it.hasNext()) {
            files << it.next();
        }
        files.sort();
        for (const QString& path : files) {
            QFile f(path);
            if (f.open(QIODevice::ReadOnly)) {
                text += QString::fromUtf8(f.readAll());
            }
        }
        return text;
    }

    QStringList logLinesContaining(const QString& needle) const {
        QStringList found;
        for (const QString& line : logText().split('\n')) {
            if (line.contains(needle)) {
                found << line;
            }
        }
        return found;
    }

    // TCP ports the process listens on inside the namespace.
    std::set<int> listeningPorts(pid_t pid) const {
        std::set<int> ports;
        const QString out = runCommand("ip netns exec '" + ns + "' ss -ltnpH 2>/dev/null");
        const QString tag = QString("pid=%1,").arg(pid);
        for (const QString& line : out.split('\n')) {
            if (!line.contains(tag)) {
                continue;
            }
            const QStringList cols = line.simplified().split(' ');
            if (cols.size() >= 4) {
                ports.insert(cols[3].section(':', -1).toInt());
            }
        }
        return ports;
    }

    std::unique_ptr<WsClient> connectClient(int port, int timeoutMs = 20000) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            auto client = std::make_unique<WsClient>();
            bool ok = false;
            lab->inNamespace(ns, [&] {
                WsClient::Options options;
                options.port = std::uint16_t(port);
                ok = client->connect(options);
            });
            if (ok) {
                return client;
            }
            testsupport::waitFor([] { return false; }, 100);
        }
        return nullptr;
    }

    static QJsonObject receiveFullState(WsClient& client) {
        const auto message = client.receiveUntil(
            [](const std::string& m) {
                return QJsonDocument::fromJson(QByteArray::fromStdString(m))
                    .object()
                    .contains("version");
            },
            20000);
        return message ? QJsonDocument::fromJson(QByteArray::fromStdString(*message)).object()
                       : QJsonObject();
    }

    // Asks a running program to end and waits for its exit status.
    static int terminate(pid_t pid) {
        ::kill(pid, SIGTERM);
        return NetLab::waitExit(pid, 20000);
    }

    QString program;
    QTemporaryDir root;
    QString dataHome;
    std::unique_ptr<NetLab> lab;
    std::string ns;
    std::string peer;  // another host, on the card 10.77.0.0/24
};

TEST_F(LanfinderProgram, ServesTheFullStateOnPort8080AndEndsTwoSecondsAfterTheLastBrowser) {
    const pid_t pid = start();
    auto client = connectClient(8080);
    ASSERT_TRUE(client) << "no WebSocket on port 8080";
    const QJsonObject state = receiveFullState(*client);
    EXPECT_EQ(state.value("version").toString(), QString::fromLatin1(lanfinder::version));
    EXPECT_TRUE(state.value("devices").toObject().value("list").isArray());
    EXPECT_TRUE(state.value("nics").isArray());
    EXPECT_EQ(state.value("theme").toString(), "light");

    client->close();
    QElapsedTimer sinceClose;
    sinceClose.start();
    const int status = NetLab::waitExit(pid, 20000);
    const qint64 elapsed = sinceClose.elapsed();
    ASSERT_EQ(status, 0) << "the program did not end by itself";
    EXPECT_GE(elapsed, 1900);
    EXPECT_LT(elapsed, 10000);

    QFile settings(settingsPath());
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly)) << "settings not written at exit";
    const QJsonObject saved = QJsonDocument::fromJson(settings.readAll()).object();
    EXPECT_EQ(saved.value("theme").toString(), "light");
    EXPECT_TRUE(saved.value("devices").toObject().value("list").isArray());

    EXPECT_EQ(logLinesContaining("Application port number: 8080").size(), 1);
    // No desktop here: no tray, and the browser could not be opened; neither stops start-up.
    EXPECT_FALSE(logLinesContaining("SysTray: No System Tray support available").isEmpty());
    EXPECT_FALSE(logLinesContaining("http://127.0.0.1:8080").isEmpty());
}

TEST_F(LanfinderProgram, TakenPort8080MovesEverythingToAnotherPort) {
    int occupant = -1;
    lab->inNamespace(ns, [&] {
        occupant = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(8080);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(occupant, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(occupant, 1);
    });
    ASSERT_GE(occupant, 0);

    const pid_t pid = start();
    std::set<int> ports;
    ASSERT_TRUE(testsupport::waitFor(
        [&] {
            ports = listeningPorts(pid);
            return !ports.empty();
        },
        20000));
    ASSERT_EQ(ports.size(), 1u);
    const int port = *ports.begin();
    EXPECT_NE(port, 8080);

    auto client = connectClient(port);
    ASSERT_TRUE(client);
    EXPECT_EQ(receiveFullState(*client).value("version").toString(),
              QString::fromLatin1(lanfinder::version));
    client->close();
    EXPECT_EQ(NetLab::waitExit(pid, 20000), 0);
    ::close(occupant);

    EXPECT_EQ(logLinesContaining(QString("Application port number: %1").arg(port)).size(), 1);
    EXPECT_FALSE(logLinesContaining(QString("http://127.0.0.1:%1").arg(port)).isEmpty());
    EXPECT_TRUE(logLinesContaining("Application port number: 8080").isEmpty());
}

TEST_F(LanfinderProgram, SecondStartHandsOverAndExitsZeroWithinFiveSeconds) {
    const pid_t first = start();
    auto client = connectClient(8080);
    ASSERT_TRUE(client);
    receiveFullState(*client);

    QElapsedTimer timer;
    timer.start();
    const pid_t second = start("second.txt");
    const int secondStatus = NetLab::waitExit(second, 10000);
    EXPECT_EQ(secondStatus, 0);
    EXPECT_LT(timer.elapsed(), 5000);

    // The first instance keeps running and serving.
    EXPECT_EQ(NetLab::waitExit(first, 0), -1);
    EXPECT_EQ(terminate(first), 0);

    EXPECT_EQ(logLinesContaining("Another start asked for the view: LNF Instance Started").size(),
              1);
    // Opened once at start-up and once more for the second start.
    EXPECT_EQ(logLinesContaining("Opening http://127.0.0.1:8080").size(), 2);
    EXPECT_EQ(logLinesContaining("Application port number:").size(), 1);
}

TEST_F(LanfinderProgram, SigtermClosesBrowsersWritesSettingsAndExitsZero) {
    QDir().mkpath(appData());
    QFile seed(settingsPath());
    ASSERT_TRUE(seed.open(QIODevice::WriteOnly));
    seed.write(R"({"devices":{"list":[]},"language":"en","theme":"dark"})");
    seed.close();

    const pid_t pid = start();
    auto client = connectClient(8080);
    ASSERT_TRUE(client);
    EXPECT_EQ(receiveFullState(*client).value("theme").toString(), "dark");
    ASSERT_TRUE(QFile::remove(settingsPath()));

    ::kill(pid, SIGTERM);
    const auto closing =
        client->receiveUntil([](const std::string& m) { return m == "SessionClosing"; }, 20000);
    EXPECT_TRUE(closing.has_value());
    EXPECT_EQ(NetLab::waitExit(pid, 20000), 0);

    QFile settings(settingsPath());
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly)) << "settings not written on SIGTERM";
    EXPECT_EQ(QJsonDocument::fromJson(settings.readAll()).object().value("theme").toString(),
              "dark");
}

TEST_F(LanfinderProgram, SigintAndSighupEndItTheSameWay) {
    for (int signalNumber : {SIGINT, SIGHUP}) {
        QFile::remove(settingsPath());
        const pid_t pid = start();
        auto client = connectClient(8080);
        ASSERT_TRUE(client);
        receiveFullState(*client);
        ::kill(pid, signalNumber);
        EXPECT_EQ(NetLab::waitExit(pid, 20000), 0) << "signal " << signalNumber;
        EXPECT_TRUE(QFile::exists(settingsPath())) << "signal " << signalNumber;
    }
}

TEST_F(LanfinderProgram, LockLeftByAKilledInstanceDoesNotBlockTheNextStart) {
    const pid_t first = start();
    ASSERT_TRUE(connectClient(8080));
    ::kill(first, SIGKILL);
    ASSERT_EQ(NetLab::waitExit(first, 10000), 128 + SIGKILL);
    // In the private runtime folder, never in the shared temp folder.
    EXPECT_TRUE(QDir(root.filePath("tmp")).entryList({"com.vostrel.plexar.lanfinder*"}).isEmpty());
    QStringList leftovers =
        QDir(root.filePath("run"))
            .entryList({"com.vostrel.plexar.lanfinder*"}, QDir::Files | QDir::System);
    EXPECT_FALSE(leftovers.isEmpty()) << "the killed instance left nothing behind to test";

    const pid_t next = start("next.txt");
    auto client = connectClient(8080);
    ASSERT_TRUE(client) << "the next start did not come up";
    EXPECT_EQ(receiveFullState(*client).value("version").toString(),
              QString::fromLatin1(lanfinder::version));
    EXPECT_EQ(terminate(next), 0);
}

TEST_F(LanfinderProgram, DataFolderSettingsAndLogsAreTheUsersAlone) {
    // As an earlier version under the usual umask left them.
    QDir().mkpath(appData() + "/logs");
    QFile seed(settingsPath());
    ASSERT_TRUE(seed.open(QIODevice::WriteOnly));
    seed.write(R"({"devices":{"list":[]},"language":"en","theme":"dark"})");
    seed.close();
    for (const auto& [path, mode] : {std::pair<QString, mode_t>{appData(), 0755},
                                     {appData() + "/logs", 0755},
                                     {settingsPath(), 0644}}) {
        ::chmod(QFile::encodeName(path).constData(), mode);
    }

    const pid_t pid = start();
    ASSERT_TRUE(connectClient(8080));
    EXPECT_EQ(terminate(pid), 0);

    const auto modeOf = [](const QString& path) {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777)
                                                                      : mode_t(0);
    };
    EXPECT_EQ(modeOf(appData()), 0700u);
    EXPECT_EQ(modeOf(appData() + "/logs"), 0700u);
    EXPECT_EQ(modeOf(settingsPath()), 0600u) << "rewritten on the way out, still private";
    const QStringList logs = QDir(appData() + "/logs").entryList(QDir::Files);
    ASSERT_FALSE(logs.isEmpty());
    for (const QString& log : logs) {
        EXPECT_EQ(modeOf(appData() + "/logs/" + log), 0600u) << log.toStdString();
    }
}

TEST_F(LanfinderProgram, LogFilesHoldTheMessagesWithTheirLevelsAndPercentSigns) {
    // An unreadable settings file makes the program log the data folder's path.
    QDir().mkpath(appData());
    QFile seed(settingsPath());
    ASSERT_TRUE(seed.open(QIODevice::WriteOnly));
    seed.write("{ not json");
    seed.close();

    const pid_t pid = start();
    ASSERT_TRUE(connectClient(8080));
    EXPECT_EQ(terminate(pid), 0);

    const QStringList trayDebug = logLinesContaining("SysTray: No System Tray support available");
    ASSERT_EQ(trayDebug.size(), 2) << logText().toStdString();
    EXPECT_TRUE(trayDebug[0].contains("[info]"));
    EXPECT_TRUE(trayDebug[1].contains("[warning]"));
    EXPECT_FALSE(logLinesContaining("data 100% done/vostrel/lanfinder/Settings.json").isEmpty())
        << logText().toStdString();
}

TEST_F(LanfinderProgram, AnotherHostCannotReachItByDefault) {
    const pid_t pid = start();
    auto client = connectClient(8080);
    ASSERT_TRUE(client);
    receiveFullState(*client);
    std::optional<testsupport::HttpResponse> page;
    lab->inNamespace(peer, [&] { page = testsupport::httpGet("10.77.0.1", 8080, "/"); });
    EXPECT_FALSE(page);
    EXPECT_EQ(terminate(pid), 0);
    QFile settings(settingsPath());
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(settings.readAll()).object().value("remoteAccess"),
              QJsonValue(false));
}

class LanfinderWithRemoteAccess : public LanfinderProgram {
protected:
    void SetUp() override {
        LanfinderProgram::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        QDir().mkpath(appData());
        QFile seed(settingsPath());
        ASSERT_TRUE(seed.open(QIODevice::WriteOnly));
        seed.write(R"({"devices":{"list":[]},"language":"en","remoteAccess":true,"theme":"dark"})");
        seed.close();
        pid = start();
        QStringList links;
        ASSERT_TRUE(testsupport::waitFor(
            [&] {
                links = logLinesContaining("Remote access link: http://10.77.0.1:8080/?token=");
                return !links.isEmpty();
            },
            20000))
            << logText().toStdString();
        ASSERT_EQ(links.size(), 1);
        token = links[0].section("?token=", 1).trimmed().toStdString();
        ASSERT_EQ(token.size(), 43u);
    }
    void TearDown() override {
        if (pid > 0) {
            EXPECT_EQ(terminate(pid), 0);
        }
    }

    std::optional<testsupport::HttpResponse> fromPeer(const std::string& path) {
        std::optional<testsupport::HttpResponse> page;
        lab->inNamespace(peer, [&] { page = testsupport::httpGet("10.77.0.1", 8080, path); });
        return page;
    }

    pid_t pid = -1;
    std::string token;
};

TEST_F(LanfinderWithRemoteAccess, AnotherHostWithoutTheTokenIsForbidden) {
    const auto page = fromPeer("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 403);
    // The refusal names the peer, never what it offered.
    EXPECT_TRUE(testsupport::waitFor(
        [&] { return !logLinesContaining("Refused a request from 10.77.0.2").isEmpty(); }, 20000));
}

TEST_F(LanfinderWithRemoteAccess, TheLoggedLinkGetsAnotherHostTheFullState) {
    const auto page = fromPeer("/?token=" + token);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 303);
    auto client = std::make_unique<WsClient>();
    bool ok = false;
    lab->inNamespace(peer, [&] {
        WsClient::Options options;
        options.host = "10.77.0.1";
        options.port = 8080;
        options.extraHeaders = "Cookie: lanfinder_token=" + token + "\r\n";
        ok = client->connect(options);
    });
    ASSERT_TRUE(ok) << client->error();
    EXPECT_EQ(receiveFullState(*client).value("theme").toString(), "dark");
    // The token is the run's secret: it appears in the link lines only.
    for (const QString& line : logLinesContaining(QString::fromStdString(token))) {
        EXPECT_TRUE(line.contains("Remote access link:")) << line.toStdString();
    }
}

}  // namespace
