#pragma once

#include <QString>
#include <QVector>

#include "device/AddressProbe.h"

namespace fakes {

// An address probe that asks nobody. Every probe is recorded; it answers at
// once from the table (Free when absent), or, while held, when the test
// calls finish().
class FakeAddressProbe : public IAddressProbe {
public:
    struct Call {
        QString card;
        QString address;
    };

    void probe(const QString& card, const QString& address, Done done) override;

    void setAnswer(const QString& address, Answer answer);
    void hold() { m_held = true; }
    // Answers the probes held so far, in order.
    void finish();

    QVector<Call> calls;

private:
    Answer answerFor(const QString& address) const;

    QVector<std::pair<QString, Answer>> m_answers;
    QVector<std::pair<QString, Done>> m_waiting;
    bool m_held = false;
};

}  // namespace fakes
