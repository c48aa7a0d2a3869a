#pragma once

#include <QString>
#include <QStringList>

// Decides whether a WebSocket upgrade may be accepted. A browser lets any page
// it shows open ws://localhost:<port>/ws, so without this check every web site
// the user visits could drive the devices (cross-site WebSocket hijacking), and
// a name that resolves to 127.0.0.1 could do the same (DNS rebinding). Only the
// program's own page, reached through a name of this machine, may connect.
class OriginPolicy {
public:
    // ownNames: the host names and addresses of this machine, besides the
    // loopback names, which are always accepted. Compared case-insensitively.
    OriginPolicy(int port, QStringList ownNames);

    // The names and addresses of this machine as the operating system lists
    // them now: its host name (with and without domain) and every address of
    // every interface.
    static QStringList currentOwnNames();

    // Empty when the upgrade is acceptable, else the reason to refuse it. A null
    // originHeader means the client sent no Origin (a tool, not a browser page).
    QString refusal(const QString& hostHeader, const QString& originHeader) const;

    int port() const { return port_; }

private:
    bool isOwnHost(const QString& host) const;

    int port_;
    QStringList ownNames_;
};
