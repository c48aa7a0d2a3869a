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
#include <vector>

#include "lanfinder/Version.h"
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
    QCoreApplication::setApplicationVersion(QString::fromLatin1(lanfinder::version));
}

namespace {

// The system's ports may be taken on the other addresses; try a few.
constexpr int systemPortAttempts = 16;

// Whether the port can be listened on at every address right now.
bool freeEverywhere(const QList<QHostAddress>& addresses, quint16 port) {
    std::vector<std::unique_ptr<QTcpServer>> probes;
    for (const QHostAddress& address : addresses) {
        probes.push_back(std::make_unique<QTcpServer>());
        if (!probes.back()->listen(address, port)) {
            return false;
        }
    }
    return true;
}

}  // namespace

int chooseHttpPort(quint16 preferred, const QList<QHostAddress>& addresses) {
    if (addresses.isEmpty()) {
        return -1;
    }
    if (freeEverywhere(addresses, preferred)) {
        return preferred;
    }
    for (int attempt = 0; attempt < systemPortAttempts; ++attempt) {
        quint16 port = 0;
        {
            QTcpServer probe;
            if (!probe.listen(addresses.first(), 0)) {
                return -1;
            }
            port = probe.serverPort();
        }
        if (freeEverywhere(addresses, port)) {
            return port;
        }
    }
    return -1;
}

QString browserAddress(int port) {
    return QStringLiteral("http://127.0.0.1:") + QString::number(port);
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
