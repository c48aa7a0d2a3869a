#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QVector>

#include <functional>
#include <memory>

class IProcessRunner;

// Asks the segment behind one of the computer's cards whether a host already
// answers on an address, before a device is moved onto it.
class IAddressProbe {
public:
    enum class Answer {
        Free,
        InUse,
        // The probe could not run or gave no verdict.
        Unknown,
    };
    using Done = std::function<void(Answer)>;

    virtual ~IAddressProbe() = default;

    // card is the interface name, address a dotted IPv4 text. done runs on
    // the calling thread, which must run a Qt event loop; it may run before
    // probe() returns.
    virtual void probe(const QString& card, const QString& address, Done done) = 0;
};

// Duplicate address detection with "arping -D -q -c 2 -w 1 -I <card>
// <address>" on a thread of its own per probe, so the main thread never
// waits on the network. The probes come from 0.0.0.0: no neighbour learns a
// wrong address for this computer from them.
class ArpProbe : public QObject, public IAddressProbe {
    Q_OBJECT
public:
    explicit ArpProbe(std::shared_ptr<const IProcessRunner> runner, QObject* parent = nullptr);
    // Waits for the probes still running (each ends within about a second).
    ~ArpProbe() override;

    void probe(const QString& card, const QString& address, Done done) override;
    void setProcessRunner(std::shared_ptr<const IProcessRunner> runner);

    // What arping's exit code says in its duplicate address detection mode:
    // 0 no reply, 1 a reply, anything else an error.
    static Answer answerOf(int exitCode);

private:
    std::shared_ptr<const IProcessRunner> m_runner;
    QVector<QPointer<QThread>> m_probes;
};
