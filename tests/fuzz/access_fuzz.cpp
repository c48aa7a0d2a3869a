// What a stranger's request brings to the access check: Host, Origin, the
// query's token, the Cookie header and the peer's address. Lines of the input
// stand for them. Whatever they hold, the check never admits a wrong token,
// never names the token in a refusal, and the redirect never leaves the server
// nor breaks its header.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "web/AccessPolicy.h"
#include "web/AccessToken.h"
#include "web/OriginPolicy.h"
#include "web/RequestGate.h"

namespace {

const QByteArray token = "Zm9vYmFyYmF6cXV4cXV1eGNvcmdlZ3JhdWx0Z2FycGx5";

QByteArray line(const QList<QByteArray>& lines, int i) {
    return i < lines.size() ? lines[i] : QByteArray();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = fuzzsupport::silenceQt();
    (void)quiet;
    static const OriginPolicy origins(8080, {"workstation", "10.0.0.1"});
    static const AccessPolicy policy(true, token, 1000);

    const QList<QByteArray> lines = fuzzsupport::bytes(data, size).split('\n');
    const QByteArray host = line(lines, 0);
    const QByteArray origin = line(lines, 1);
    const QByteArray query = line(lines, 2);
    const QByteArray cookies = line(lines, 3);
    const QByteArray peer = line(lines, 4);
    const QByteArray uri = line(lines, 5);

    origins.refusal(QString::fromUtf8(host),
                    lines.size() > 1 ? QString::fromUtf8(origin) : QString());

    const QByteArray fromQuery = webaccess::tokenFromQuery(query.constData());
    const QByteArray fromCookie = webaccess::tokenFromCookies(cookies.constData());
    const AccessPolicy::Decision decision = policy.decide(
        QHostAddress(QString::fromUtf8(peer)), [] { return std::optional<uint>(1000); }, fromQuery,
        fromCookie);
    if (decision.reason.toUtf8().contains(token)) {
        std::abort();
    }
    const bool loopback = QHostAddress(QString::fromUtf8(peer)).isLoopback();
    if (!loopback && decision.verdict != AccessPolicy::Verdict::Refuse && fromQuery != token &&
        fromCookie != token) {
        std::abort();
    }

    const QByteArray location = RequestGate::redirectTarget(uri.constData());
    if (!location.startsWith('/') || location.startsWith("//") || location.contains('\r') ||
        location.contains('\n')) {
        std::abort();
    }
    return 0;
}
