#include "device/AddressProbe.h"

#include <QDebug>

#include <atomic>

#include "device/ProcessRunner.h"
#include "ipv4text/ipv4_text.h"

ArpProbe::ArpProbe(std::shared_ptr<const IProcessRunner> runner, QObject* parent)
    : QObject(parent), m_runner(std::move(runner)) {}

ArpProbe::~ArpProbe() {
    for (const auto& probe : m_probes) {
        if (probe) {
            probe->wait();
            // Its deleteLater may not have come round yet.
            delete probe.data();
        }
    }
}

void ArpProbe::setProcessRunner(std::shared_ptr<const IProcessRunner> runner) {
    m_runner = std::move(runner);
}

IAddressProbe::Answer ArpProbe::answerOf(int exitCode) {
    switch (exitCode) {
        case 0:
            return Answer::Free;
        case 1:
            return Answer::InUse;
        default:
            return Answer::Unknown;
    }
}

void ArpProbe::probe(const QString& card, const QString& address, Done done) {
    // Only a dotted address and a plain interface name reach the command
    // line, never an option.
    const auto runner = m_runner;
    if (!runner || !ipv4text::parse(address.toStdString()) || card.isEmpty() ||
        card.startsWith('-')) {
        done(Answer::Unknown);
        return;
    }
    auto answer = std::make_shared<std::atomic<Answer>>(Answer::Unknown);
    QThread* thread = QThread::create([runner, card, address, answer] {
        try {
            const int exitCode = runner
                                     ->run(QStringLiteral("arping"),
                                           {"-D", "-q", "-c", "2", "-w", "1", "-I", card, address})
                                     .exitCode;
            *answer = answerOf(exitCode);
            if (*answer == Answer::Unknown) {
                qWarning().noquote() << QStringLiteral("arping on %1 for %2 failed with %3")
                                            .arg(card, address)
                                            .arg(exitCode);
            }
        } catch (const std::exception& e) {
            qWarning().noquote() << "Cannot run arping: " + QString::fromStdString(e.what());
        }
    });
    // The thread object belongs to this object's thread, whose event loop
    // deletes it, even when probe() was called from a thread without one.
    thread->moveToThread(QObject::thread());
    // done runs on this object's thread: it touches the device store.
    connect(thread, &QThread::finished, this, [done, answer] { done(answer->load()); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    m_probes.removeAll(QPointer<QThread>());
    m_probes.append(thread);
    thread->start(QThread::InheritPriority);
}
