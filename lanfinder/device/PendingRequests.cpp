#include "device/PendingRequests.h"

#include <algorithm>

void PendingRequests::add(const Request& request) {
    m_requests.append(request);
}

std::optional<PendingRequests::Request> PendingRequests::take(Kind kind, const QString& deviceId) {
    const auto match = std::find_if(m_requests.begin(), m_requests.end(), [&](const Request& r) {
        return r.kind == kind && (deviceId.isEmpty() || r.deviceId == deviceId);
    });
    if (match == m_requests.end()) {
        return std::nullopt;
    }
    Request taken = *match;
    m_requests.erase(match);
    return taken;
}

QVector<PendingRequests::Request> PendingRequests::takeExpired(qint64 nowMs, qint64 limitMs) {
    QVector<Request> expired;
    QVector<Request> waiting;
    for (const Request& r : m_requests) {
        (nowMs - r.sentAtMs >= limitMs ? expired : waiting).append(r);
    }
    m_requests.swap(waiting);
    return expired;
}

std::optional<qint64> PendingRequests::oldestSentAtMs() const {
    if (m_requests.isEmpty()) {
        return std::nullopt;
    }
    return m_requests.first().sentAtMs;
}
