#pragma once

#include <QString>
#include <QVector>

#include <optional>

// The requests sent to devices that their devices have not answered yet,
// each with when it went out on the monotonic clock. A device answers a
// request at once, before it applies any of it; one that says nothing
// within the time limit will not answer any more, and the user is told so
// instead of waiting for ever.
class PendingRequests {
public:
    enum class Kind { Configuration, Localize };

    struct Request {
        QString deviceId;
        Kind kind = Kind::Configuration;
        qint64 sentAtMs = 0;
        // The name a configuration request gives the device.
        QString name;
    };

    void add(const Request& request);

    // The oldest request of that kind to that device, removed; with an empty
    // id, the oldest of that kind to any device (a localize answer names no
    // device, and devices answer in the order they were asked).
    std::optional<Request> take(Kind kind, const QString& deviceId = QString());

    // The requests sent at least limitMs before nowMs, oldest first, removed.
    QVector<Request> takeExpired(qint64 nowMs, qint64 limitMs);

    // When the oldest request went out; empty when none waits.
    std::optional<qint64> oldestSentAtMs() const;

    bool isEmpty() const { return m_requests.isEmpty(); }
    int size() const { return m_requests.size(); }

private:
    // In the order sent.
    QVector<Request> m_requests;
};
