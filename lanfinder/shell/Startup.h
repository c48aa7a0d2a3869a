#pragma once

// The pieces of start-up that decide something, kept out of main() so that
// tests can use them: the identity, the port choice, the tray creation and
// the opening of URLs (browser, log folder) without ever blocking start-up.

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

// The web server's port: preferred on the local host when free, else one the
// system picks, else -1. The probe is closed again before returning, so the
// port is free for the web server.
int chooseHttpPort(quint16 preferred = preferredPort);

// "http://localhost:" followed by the port.
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
