#include "FakeAddressProbe.h"

namespace fakes {

void FakeAddressProbe::probe(const QString& card, const QString& address, Done done) {
    calls.append({card, address});
    if (m_held) {
        m_waiting.append({address, std::move(done)});
        return;
    }
    done(answerFor(address));
}

void FakeAddressProbe::setAnswer(const QString& address, Answer answer) {
    m_answers.append({address, answer});
}

void FakeAddressProbe::finish() {
    m_held = false;
    const auto waiting = std::move(m_waiting);
    m_waiting.clear();
    for (const auto& [address, done] : waiting) {
        done(answerFor(address));
    }
}

IAddressProbe::Answer FakeAddressProbe::answerFor(const QString& address) const {
    for (auto it = m_answers.crbegin(); it != m_answers.crend(); ++it) {
        if (it->first == address) {
            return it->second;
        }
    }
    return Answer::Free;
}

}  // namespace fakes
