#pragma once

// The pieces of start-up that decide something, kept out of main() so that
// tests can use them: the identity, the port choice, the tray creation and
// the opening of URLs (browser, log folder) without ever blocking start-up.

#include <QHostAddress>
#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QUrl>
#include <functional>

class SysTray;

namespace shell {

inline constexpr char singleInstanceId[] = "com.vostrel.plexar.lanfinder";
inline constexpr char instanceStartedMessage[] = "LNF Instance Started";
inline constexpr int instanceMessageTimeoutMs = 5000;
inline constexpr quint16 preferredPort = 8080;

// Application and organisation names, domain and version; they also decide
// the per-user data folder, so this runs before anything reads it.
void setApplicationIdentity();

// The web server's port: preferred when it is free on every address the
// server will listen on, else one the system picks that is free on all of
// them, else -1. A port free on 127.0.0.1 but taken on [::1] by another
// program is not ours: a browser may try [::1] first and meet that program.
// The probes are closed again before returning, so the port is free for the
// web server.
int chooseHttpPort(quint16 preferred = preferredPort,
                   const QList<QHostAddress>& addresses = {QHostAddress(QHostAddress::LocalHost)});

// "http://127.0.0.1:" followed by the port: the address the server listens
// on, never a name that might resolve to another program's socket.
QString browserAddress(int port);

// Opens a URL with the desktop; returns false when that failed. Tests and
// headless runs replace it.
using UrlOpener = std::function<bool(const QUrl&)>;
void setUrlOpener(UrlOpener opener);
// The opener in use (QDesktopServices::openUrl unless replaced).
UrlOpener urlOpener();

// Opens the URL from the event loop, so a slow or failing desktop never holds
// up the caller; a failure is logged as a warning.
void openUrlLater(const QUrl& url);
void openBrowser(int port);
void openLogFolder(const QString& folder);

// The tray, or null when the desktop has none (logged as a warning).
QSharedPointer<SysTray> createTray();

}  // namespace shell
