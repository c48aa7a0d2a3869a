#include "web/RequestGate.h"

#include <QDebug>
#include <QUrl>

#include <civetweb.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

#include "web/AccessToken.h"
#include "web/SocketOwner.h"

const char RequestGate::securityHeaders[] =
    "Content-Security-Policy: default-src 'self'; script-src 'self'; style-src 'self'; "
    "img-src 'self' data: blob:; connect-src 'self'; object-src 'none'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'\r\n"
    "X-Frame-Options: DENY\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Referrer-Policy: no-referrer";

namespace {

void sendAnswer(mg_connection* connection, int status, const char* statusText,
                const QByteArray& extraHeaders, const QByteArray& body) {
    const mg_request_info* info = mg_get_request_info(connection);
    const bool head =
        info && info->request_method && std::strcmp(info->request_method, "HEAD") == 0;
    QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + ' ' + statusText + "\r\n";
    answer += "Content-Type: text/plain; charset=utf-8\r\n";
    answer += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    answer += "Cache-Control: no-store\r\n";
    answer += extraHeaders;
    answer += RequestGate::securityHeaders;
    answer += "\r\nConnection: close\r\n\r\n";
    if (!head) {
        answer += body;
    }
    mg_write(connection, answer.constData(), static_cast<std::size_t>(answer.size()));
}

}  // namespace

RequestGate::RequestGate(AccessPolicy policy) : policy_(std::move(policy)) {}

bool RequestGate::isServedMethod(const char* method) {
    return method && (std::strcmp(method, "GET") == 0 || std::strcmp(method, "HEAD") == 0);
}

QByteArray RequestGate::redirectTarget(const char* localUri) {
    QByteArray path = QUrl::toPercentEncoding(QString::fromUtf8(localUri ? localUri : ""), "/");
    // "//host/..." would send the browser to another host.
    int slashes = 0;
    while (slashes < path.size() && path.at(slashes) == '/') {
        ++slashes;
    }
    return '/' + path.mid(slashes);
}

int RequestGate::handle(mg_connection* connection) const {
    const mg_request_info* info = mg_get_request_info(connection);
    if (!info) {
        return 0;
    }
    if (!isServedMethod(info->request_method)) {
        // The method is the client's text: only its letters reach the log.
        QByteArray method;
        for (const char* c = info->request_method; c && *c && method.size() < 16; ++c) {
            if (std::isalpha(static_cast<unsigned char>(*c))) {
                method += *c;
            }
        }
        qWarning().noquote() << "Refused method" << method << "from" << info->remote_addr;
        sendAnswer(connection, 405, "Method Not Allowed", "Allow: GET, HEAD\r\n",
                   "Only GET and HEAD are served.\n");
        return 405;
    }
    const QHostAddress peer(QString::fromLatin1(info->remote_addr));
    const auto peerOwner = [info, &peer] {
        // The browser's socket: its local end is our peer, its remote end our port.
        return webaccess::socketOwner({peer, static_cast<quint16>(info->remote_port)},
                                      {QHostAddress(), static_cast<quint16>(info->server_port)});
    };
    const AccessPolicy::Decision decision =
        policy_.decide(peer, peerOwner, webaccess::tokenFromQuery(info->query_string),
                       webaccess::tokenFromCookies(mg_get_header(connection, "Cookie")));
    switch (decision.verdict) {
        case AccessPolicy::Verdict::Allow:
            return 0;
        case AccessPolicy::Verdict::AllowAndSetCookie: {
            // An upgrade cannot follow a redirect; a page that passes the
            // token along in its WebSocket address is let through.
            const char* upgrade = mg_get_header(connection, "Upgrade");
            if (upgrade && mg_strcasecmp(upgrade, "websocket") == 0) {
                return 0;
            }
            const QByteArray headers = "Location: " + redirectTarget(info->local_uri) +
                                       "\r\nSet-Cookie: " + webaccess::cookieFor(policy_.token()) +
                                       "\r\n";
            sendAnswer(connection, 303, "See Other", headers, {});
            return 303;
        }
        case AccessPolicy::Verdict::Refuse:
            break;
    }
    // The peer's address only: what it sent may hold a guessed token.
    qWarning().noquote() << "Refused a request from" << info->remote_addr << ":" << decision.reason;
    sendAnswer(connection, 403, "Forbidden", {}, "Forbidden.\n");
    return 403;
}
