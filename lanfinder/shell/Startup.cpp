#include "shell/Startup.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTimer>
#include <memory>

#include "shell/SysTray.h"

namespace shell {

namespace {

QMutex& openerMutex() {
    static QMutex mutex;
    return mutex;
}

UrlOpener& openerSlot() {
    static UrlOpener opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return opener;
}

}  // namespace

void setApplicationIdentity() {
    QCoreApplication::setApplicationName(QStringLiteral("lanfinder"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("vostrel.com"));
    QCoreApplication::setOrganizationName(QStringLiteral("vostrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.2.3"));
}

int chooseHttpPort(quint16 preferred) {
    auto probe = std::make_unique<QTcpServer>();
    int port = -1;
    if (probe->listen(QHostAddress::LocalHost, preferred)) {
        port = preferred;
    } else if (probe->listen(QHostAddress::LocalHost, 0)) {
        port = probe->serverPort();
    }
    probe->disconnect();
    probe->close();
    return port;
}

QString browserAddress(int port) {
    return QStringLiteral("http://localhost:") + QString::number(port);
}

void setUrlOpener(UrlOpener opener) {
    QMutexLocker lock(&openerMutex());
    openerSlot() = std::move(opener);
}

UrlOpener urlOpener() {
    QMutexLocker lock(&openerMutex());
    return openerSlot();
}

void openUrlLater(const QUrl& url) {
    QObject* context = QCoreApplication::instance();
    if (!context) {
        return;
    }
    QTimer::singleShot(0, context, [url] {
        qDebug().noquote() << "Opening" << url.toString();
        const UrlOpener opener = urlOpener();
        if (!opener || !opener(url)) {
            qWarning().noquote() << "Could not open" << url.toString();
        }
    });
}

void openBrowser(int port) {
    openUrlLater(QUrl::fromUserInput(browserAddress(port)));
}

void openLogFolder(const QString& folder) {
    openUrlLater(QUrl::fromUserInput(folder));
}

QSharedPointer<SysTray> createTray() {
    try {
        return QSharedPointer<SysTray>(new SysTray());
    } catch (const QString& text) {
        qWarning().noquote() << text;
    }
    return {};
}

}  // namespace shell
