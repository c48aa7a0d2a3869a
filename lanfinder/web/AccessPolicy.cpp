#include "web/AccessPolicy.h"

#include "web/AccessToken.h"

AccessPolicy::AccessPolicy(bool remoteAccess, QByteArray token, uint ownUid)
    : remoteAccess_(remoteAccess), token_(std::move(token)), ownUid_(ownUid) {}

AccessPolicy::Decision AccessPolicy::decide(const QHostAddress& peer,
                                            const std::function<std::optional<uint>()>& peerOwner,
                                            const QByteArray& queryToken,
                                            const QByteArray& cookieToken) const {
    if (peer.isLoopback()) {
        const std::optional<uint> owner = peerOwner ? peerOwner() : std::nullopt;
        if (!owner) {
            return {Verdict::Refuse, QStringLiteral("the owner of the connection is unknown")};
        }
        if (*owner != ownUid_) {
            return {Verdict::Refuse,
                    QStringLiteral("the connection belongs to user %1").arg(*owner)};
        }
        return {Verdict::Allow, {}};
    }
    if (!remoteAccess_ || token_.isEmpty()) {
        return {Verdict::Refuse, QStringLiteral("remote access is off")};
    }
    // Both are compared, whatever the first gives, so that the time taken
    // does not tell which one was right.
    const bool cookieOk = webaccess::sameToken(cookieToken, token_);
    const bool queryOk = webaccess::sameToken(queryToken, token_);
    if (cookieOk) {
        return {Verdict::Allow, {}};
    }
    if (queryOk) {
        return {Verdict::AllowAndSetCookie, {}};
    }
    return {Verdict::Refuse, QStringLiteral("no valid access token")};
}
