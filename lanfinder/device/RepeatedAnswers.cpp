#include "device/RepeatedAnswers.h"

#include <beacon/discovery_response.h>
#include <beacon/event_with_metadata.h>

#include "device/ProtocolEventConversion.h"
#include "device/TextLimit.h"
#include "state/Clock.h"

namespace {

QString deviceKeyOf(const DiscoveryResponse& answer) {
    return answer.articleNumber + QChar(0) + answer.serialNumber;
}

}  // namespace

RepeatedAnswers::RepeatedAnswers(int capacity) : m_capacity(capacity) {}

QSharedPointer<IProtocolEvent> RepeatedAnswers::convert(const dp::event_with_metadata& received) {
    const std::uint64_t key = received.message ? received.repeat_key : 0;
    if (key != 0) {
        const auto kept = m_answers.constFind(key);
        if (kept != m_answers.constEnd()) {
            auto copy = QSharedPointer<DiscoveryResponse>::create(*kept->answer);
            copy->created = Clock::instance().currentDateTime();
            if (const auto* answer =
                    dynamic_cast<const dp::discovery_response*>(received.message.get())) {
                copy->requestId = QString::fromStdString(cutAtCharacter(answer->request_id()));
            }
            if (received.interface_ip != kept->card) {
                copy->ipOfAssociatedNic =
                    QString::fromStdString(cutAtCharacter(received.interface_ip));
            }
            return copy;
        }
    }
    auto event = convertProtocolEvent(received);
    if (key != 0) {
        if (const auto answer = event.dynamicCast<DiscoveryResponse>()) {
            answer->repeatKey = key;
            answer->deviceId = deviceIdOf(answer->articleNumber, answer->serialNumber);
            keep(key, *answer, received.interface_ip);
        }
    }
    return event;
}

void RepeatedAnswers::keep(std::uint64_t key, const DiscoveryResponse& answer,
                           const std::string& card) {
    const QString device = deviceKeyOf(answer);
    const auto previous = m_keyOfDevice.constFind(device);
    if (previous != m_keyOfDevice.constEnd()) {
        m_answers.remove(*previous);
    } else if (m_keyOfDevice.size() >= m_capacity) {
        m_answers.clear();
        m_keyOfDevice.clear();
    }
    m_answers.insert(key, Kept{QSharedPointer<const DiscoveryResponse>::create(answer), card});
    m_keyOfDevice.insert(device, key);
}
