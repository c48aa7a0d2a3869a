#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QUrl>

#include "QtWait.h"
#include "RecordingP7.h"
#include "lanfinder/Version.h"
#include "shell/Logger.h"
#include "shell/Startup.h"
#include "shell/SysTray.h"

namespace {

quint16 freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// The identity is the process's; the test puts back what it found.
TEST(ApplicationIdentity, NamesTheProgramWithTheProjectsVersion) {
    const QString name = QCoreApplication::applicationName();
    const QString organisation = QCoreApplication::organizationName();
    const QString domain = QCoreApplication::organizationDomain();
    const QString version = QCoreApplication::applicationVersion();

    shell::setApplicationIdentity();
    EXPECT_EQ(QCoreApplication::applicationName(), "lanfinder");
    EXPECT_EQ(QCoreApplication::applicationVersion(), QString::fromLatin1(lanfinder::version));
    EXPECT_FALSE(QCoreApplication::applicationVersion().isEmpty());

    QCoreApplication::setApplicationName(name);
    QCoreApplication::setOrganizationName(organisation);
    QCoreApplication::setOrganizationDomain(domain);
    QCoreApplication::setApplicationVersion(version);
}

TEST(PortChoice, PreferredPortIsUsedWhenFreeAndReleasedAfterwards) {
    const quint16 preferred = freePort();
    ASSERT_NE(preferred, 0);
    EXPECT_EQ(shell::chooseHttpPort(preferred), preferred);
    QTcpServer again;
    EXPECT_TRUE(again.listen(QHostAddress::LocalHost, preferred)) << "the probe still holds it";
}

TEST(PortChoice, TakenPreferredPortFallsBackToAFreeSystemPort) {
    QTcpServer occupant;
    ASSERT_TRUE(occupant.listen(QHostAddress::LocalHost, 0));
    const int port = shell::chooseHttpPort(occupant.serverPort());
    EXPECT_GT(port, 0);
    EXPECT_NE(port, occupant.serverPort());
    QTcpServer again;
    EXPECT_TRUE(again.listen(QHostAddress::LocalHost, quint16(port)));
}

TEST(PortChoice, APortTakenOnTheIPv6LoopbackOnlyIsNotChosen) {
    QTcpServer occupant;
    if (!occupant.listen(QHostAddress::LocalHostIPv6, 0)) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    const QList<QHostAddress> addresses{QHostAddress(QHostAddress::LocalHost),
                                        QHostAddress(QHostAddress::LocalHostIPv6)};
    const int port = shell::chooseHttpPort(occupant.serverPort(), addresses);
    EXPECT_GT(port, 0);
    EXPECT_NE(port, occupant.serverPort());
    for (const QHostAddress& address : addresses) {
        QTcpServer again;
        EXPECT_TRUE(again.listen(address, quint16(port))) << address.toString().toStdString();
    }
}

TEST(PortChoice, APortTakenOnOneIPv4AddressIsNotChosenForAllOfThem) {
    QTcpServer occupant;
    ASSERT_TRUE(occupant.listen(QHostAddress::LocalHost, 0));
    const int port =
        shell::chooseHttpPort(occupant.serverPort(), {QHostAddress(QHostAddress::AnyIPv4)});
    EXPECT_GT(port, 0);
    EXPECT_NE(port, occupant.serverPort());
}

TEST(BrowserAddress, IsTheIPv4LoopbackWithThePortInDecimal) {
    EXPECT_EQ(shell::browserAddress(8080), "http://127.0.0.1:8080");
    EXPECT_EQ(shell::browserAddress(-1), "http://127.0.0.1:-1");
    EXPECT_EQ(QUrl::fromUserInput(shell::browserAddress(49152)), QUrl("http://127.0.0.1:49152"));
}

class UrlOpening : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::instance();
        recording_p7::reset();
        saved = shell::urlOpener();
    }
    void TearDown() override { shell::setUrlOpener(saved); }

    bool waitForOpened(int count) {
        return testsupport::pumpUntil([&] { return opened.size() >= count; }, 5000);
    }

    shell::UrlOpener saved;
    QList<QUrl> opened;
};

TEST_F(UrlOpening, BrowserOpensFromTheEventLoopNotInsideTheCall) {
    shell::setUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    shell::openBrowser(8080);
    EXPECT_TRUE(opened.isEmpty());
    ASSERT_TRUE(waitForOpened(1));
    EXPECT_EQ(opened, QList<QUrl>{QUrl("http://127.0.0.1:8080")});
    EXPECT_TRUE(recording_p7::deliveriesContaining("Could not open").empty());
}

TEST_F(UrlOpening, FailureIsLoggedAsAWarning) {
    shell::setUrlOpener([&](const QUrl& url) {
        opened << url;
        return false;
    });
    shell::openBrowser(1234);
    ASSERT_TRUE(waitForOpened(1));
    const auto warnings =
        recording_p7::deliveriesContaining("Could not open http://127.0.0.1:1234");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].level, 1);
}

TEST_F(UrlOpening, LogFolderOpensAsALocalFileUrl) {
    shell::setUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    shell::openLogFolder("/home/someone/.local/share/vostrel/lanfinder/logs/");
    ASSERT_TRUE(waitForOpened(1));
    EXPECT_TRUE(opened[0].isLocalFile());
    EXPECT_EQ(opened[0].toLocalFile(), "/home/someone/.local/share/vostrel/lanfinder/logs/");
}

TEST(TrayCreation, MissingTrayIsLoggedAsAWarningAndYieldsNoTray) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        GTEST_SKIP() << "this desktop has a tray";
    }
    Logger::instance();
    recording_p7::reset();
    EXPECT_TRUE(shell::createTray().isNull());
    const auto logged =
        recording_p7::deliveriesContaining("SysTray: No System Tray support available");
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0].level, 0);
    EXPECT_EQ(logged[1].level, 1);
}

}  // namespace
