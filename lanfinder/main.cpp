// The lanfinder program: creates the top-level objects in their fixed order,
// wires them together, runs the event loop and shuts down in a fixed order.
// The decisions live in the libraries of lanfinder/ (docs/architecture.md).

#include <QApplication>
#include <QClipboard>
#include <QDebug>
#include <QDir>
#include <QJsonDocument>
#include <QSharedPointer>

#include "app/Backend.h"
#include "device/NetworkInterfaces.h"
#include "shell/LocalTimeZone.h"
#include "shell/LogWindow.h"
#include "shell/Logger.h"
#include "shell/SignalWatcher.h"
#include "shell/SingleInstance.h"
#include "shell/Startup.h"
#include "shell/SysTray.h"
#include "state/ICacheNotifier.h"
#include "state/Result.h"
#include "state/Settings.h"
#include "state/StateCache.h"
#include "web/AccessToken.h"
#include "web/ListenAddresses.h"
#include "web/RemoteAccessLinks.h"
#include "web/WebServer.h"

int main(int argc, char* argv[]) {
    // First, while no other thread can read the environment.
    const bool zonePinned = shell::pinLocalTimeZone();
    shell::setApplicationIdentity();
    QApplication app(argc, argv);

    SingleInstance instance(QString::fromLatin1(shell::singleInstanceId));
    if (instance.sendMessage(QString::fromLatin1(shell::instanceStartedMessage),
                             shell::instanceMessageTimeoutMs)) {
        return 0;
    }

    // Ending the process from outside takes the same way out as "&Quit".
    QSharedPointer<SignalWatcher> signalWatcher;
    try {
        signalWatcher.reset(new SignalWatcher());
    } catch (const QString& text) {
        qWarning().noquote() << text;
    }

    QSharedPointer<shell::LocalTimeZoneWatch> zoneWatch;
    if (zonePinned) {
        zoneWatch.reset(new shell::LocalTimeZoneWatch());
    }

    QDir::setCurrent(QCoreApplication::applicationDirPath());

    // Before the first log line and the first settings write.
    securePrivateData();
    QSharedPointer<LogWindow> logWindow;
    if (setupLogFile()) {
        logWindow.reset(new LogWindow(Logger::instance()));
    }

    QSharedPointer<Backend> backend = createBackend(readJsonFile(settingsFilePath()));
    backend->start();

    QSharedPointer<SysTray> tray = shell::createTray();
    if (tray) {
        QApplication::setQuitOnLastWindowClosed(false);
    }

    // The settings decide where the server listens, so the port is chosen
    // once they are read.
    WebAccess webAccess;
    webAccess.remote = backend->remoteAccess();
    if (webAccess.remote) {
        webAccess.token = webaccess::newToken();
    }
    const int port =
        shell::chooseHttpPort(shell::preferredPort, listening::addresses(webAccess.remote));
    const auto currentLinks = [port, token = webAccess.token] {
        return remoteAccessLinks(queryNetworkInterfaces(), port, token);
    };

    QSharedPointer<WebServer> webServer;
    try {
        webServer.reset(new WebServer(webFolderPath(), QString::number(port), webAccess));
    } catch (const QString& text) {
        qWarning().noquote() << text;
    }
    if (webServer && !webServer->isRunning()) {
        qWarning() << "The web server could not start on port" << port;
    }

    QSharedPointer<StateCache> stateCache(new StateCache(backend.data()));
    // One diff per turn of the event loop instead of one per property change.
    stateCache->setCoalescing(true);
    cacheInstance(stateCache.data());

    qDebug() << "Application port number:" << port;
    if (webAccess.remote) {
        qWarning() << "Remote access is on: other computers may connect with the token";
        for (const QString& link : currentLinks()) {
            qDebug().noquote() << "Remote access link:" << link;
        }
    }

    qRegisterMetaType<Result>("Result");
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<std::size_t>("std::size_t");

    const auto quit = [] { QCoreApplication::exit(0); };

    if (tray) {
        QObject::connect(
            tray.data(), &SysTray::requestShowBrowser, &app, [port] { shell::openBrowser(port); },
            Qt::DirectConnection);
        QObject::connect(
            tray.data(), &SysTray::requestShowLogWidget, &app,
            [window = logWindow.data()] {
                if (window) {
                    window->show();
                    window->raise();
                }
            },
            Qt::DirectConnection);
        QObject::connect(
            tray.data(), &SysTray::requestShowLogFolder, &app,
            [] { shell::openLogFolder(logFolderPath()); }, Qt::DirectConnection);
        QObject::connect(tray.data(), &SysTray::requestApplicationClose, &app, quit,
                         Qt::DirectConnection);
        if (webAccess.remote) {
            tray->addRemoteAccessEntry();
            // The cards are read again: the link must name an address the
            // computer has now.
            QObject::connect(
                tray.data(), &SysTray::requestCopyRemoteAccessLink, &app,
                [currentLinks] {
                    const QStringList links = currentLinks();
                    if (links.isEmpty()) {
                        qWarning() << "No network card address to make a remote access link of";
                        return;
                    }
                    QGuiApplication::clipboard()->setText(links.first());
                    qDebug() << "Remote access link copied to the clipboard";
                },
                Qt::DirectConnection);
        }
    }

    if (webServer) {
        // Without a tray the close request would have no receiver and the
        // program could never end when the last browser leaves.
        if (tray) {
            QObject::connect(webServer.data(), &WebServer::requestApplicationClose, tray.data(),
                             &SysTray::requestApplicationClose, Qt::QueuedConnection);
        } else {
            QObject::connect(webServer.data(), &WebServer::requestApplicationClose, &app, quit,
                             Qt::QueuedConnection);
        }
        QObject::connect(backend.data(), &Backend::guiMessageHandled, webServer.data(),
                         &WebServer::onGuiMessageHandled, Qt::QueuedConnection);
        QObject::connect(webServer.data(), &WebServer::requestGuiMessageHandling, backend.data(),
                         &Backend::handleGuiMessage, Qt::QueuedConnection);
        QObject::connect(webServer.data(), &WebServer::activeConnections, backend.data(),
                         &Backend::handleActiveConnections, Qt::QueuedConnection);
        QObject::connect(webServer.data(), &WebServer::noActiveConnections, webServer.data(),
                         &WebServer::onNoActiveConnections, Qt::QueuedConnection);
        QObject::connect(webServer.data(), &WebServer::requestFullState, stateCache.data(),
                         &StateCache::onFullStateRequested, Qt::DirectConnection);
        // Direct: both live on the main thread, and a queued diff would wait
        // behind every answer already queued there during a large scan. The
        // web server only queues the bytes for each browser's sender thread.
        QObject::connect(stateCache.data(), &StateCache::cacheUpdated, webServer.data(),
                         &WebServer::onCacheUpdated, Qt::DirectConnection);
    }

    QObject::connect(
        &instance, &SingleInstance::messageReceived, &app,
        [port](const QString& message) {
            // Any local process of this user can send it; it must not forge lines.
            qDebug().noquote() << "Another start asked for the view:" << escapedForLog(message);
            shell::openBrowser(port);
        },
        Qt::DirectConnection);

    if (signalWatcher) {
        QObject::connect(signalWatcher.data(), &SignalWatcher::terminationRequested, &app,
                         [tray = tray.data(), quit](int signalNumber) {
                             qDebug() << "Signal" << signalNumber << "received, closing";
                             if (tray) {
                                 emit tray->requestApplicationClose();
                             } else {
                                 quit();
                             }
                         });
    }

    shell::openBrowser(port);

    const int result = app.exec();
    // A second signal during a stuck shutdown ends the process the usual way.
    signalWatcher.reset();

    writeJsonFile(settingsFilePath(), QJsonDocument(backend->settingsJson()));

    stateCache.reset();
    webServer.reset();
    tray.reset();
    backend.reset();
    logWindow.reset();
    return result;
}
