#pragma once

#include <QByteArray>

#include "web/AccessPolicy.h"

struct mg_connection;

// Runs first for every HTTP request, the WebSocket upgrade included: serves
// only GET and HEAD, lets through only the peers the access policy admits,
// and answers the rest itself, with the same protective headers as every
// answer of the server.
class RequestGate {
public:
    // Sent with every answer: no other site may frame the page, browsers must
    // not guess content types, and no address leaks through the Referer.
    static const char securityHeaders[];

    explicit RequestGate(AccessPolicy policy);

    // CivetWeb's begin_request contract: 0 lets CivetWeb serve the request,
    // anything else is the status of the answer already sent.
    int handle(mg_connection* connection) const;

    // The path to send a browser to once its token is in a cookie: the
    // request's own path, percent-encoded, never naming another host.
    static QByteArray redirectTarget(const char* localUri);

    static bool isServedMethod(const char* method);

private:
    AccessPolicy policy_;
};
