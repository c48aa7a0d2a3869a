#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <functional>
#include <optional>

// Decides who may use the web server at all, before any page, file or
// WebSocket is served. Browsers on this computer need nothing more than to
// belong to the user who runs the program (on a shared computer every user
// reaches the same loopback); with remote access on, browsers elsewhere must
// show the run's access token, first in the link and then in a cookie.
class AccessPolicy {
public:
    enum class Verdict {
        Allow,
        // The token came in the query: hand it over as a cookie, so that the
        // page's own requests and its WebSocket carry it from then on.
        AllowAndSetCookie,
        Refuse,
    };

    struct Decision {
        Verdict verdict;
        QString reason;  // why it was refused; never holds a token
    };

    // token: the run's access token; ignored unless remote access is on.
    AccessPolicy(bool remoteAccess, QByteArray token, uint ownUid);

    // peerOwner is asked only for loopback peers; nothing means unknown.
    Decision decide(const QHostAddress& peer, const std::function<std::optional<uint>()>& peerOwner,
                    const QByteArray& queryToken, const QByteArray& cookieToken) const;

    bool remoteAccess() const { return remoteAccess_; }
    const QByteArray& token() const { return token_; }

private:
    bool remoteAccess_;
    QByteArray token_;
    uint ownUid_;
};
