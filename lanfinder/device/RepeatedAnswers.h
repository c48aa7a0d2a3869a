#pragma once

#include <cstdint>
#include <string>

#include <QHash>
#include <QSharedPointer>

#include "device/ProtocolEvents.h"

namespace dp {
struct event_with_metadata;
}

// The protocol engine's conversion of received messages, with the newest
// discovery answer of every device kept. A device answers each scan with the
// same text, which the library marks with one repeat key; such an answer
// becomes a copy of the kept conversion, sharing its texts, with its own
// request id and card. Converting the dozen texts anew for every answer was
// most of the worker thread's time at thousands of devices, and shared texts
// make the main thread's comparison with the device's values short.
// Used by one thread.
class RepeatedAnswers {
public:
    // At most `capacity` devices are kept; beyond that the store starts afresh.
    explicit RepeatedAnswers(int capacity = 65536);

    // What convertProtocolEvent() makes of the message.
    QSharedPointer<IProtocolEvent> convert(const dp::event_with_metadata& received);

    int size() const { return m_answers.size(); }

private:
    struct Kept {
        QSharedPointer<const DiscoveryResponse> answer;
        std::string card;
    };

    void keep(std::uint64_t key, const DiscoveryResponse& answer, const std::string& card);

    const int m_capacity;
    QHash<quint64, Kept> m_answers;
    // Per device (article and serial number), the key of its kept answer.
    QHash<QString, quint64> m_keyOfDevice;
};
