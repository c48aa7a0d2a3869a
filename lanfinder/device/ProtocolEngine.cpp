#include "device/ProtocolEngine.h"

#include <QAbstractEventDispatcher>
#include <QDebug>
#include <QElapsedTimer>

#include <beacon/event_with_metadata.h>
#include <beacon/idevice_protocol.h>
#include <beacon/protocol_exception.h>
#include <beacon/secure_wipe.h>

#include <stdexcept>

#include "device/ProtocolEventConversion.h"
#include "device/SecretText.h"

namespace {

// How long the worker waits on the library's queue before it serves the
// calls posted to it (sends, a stop). Repeats taken as seen leave the queue
// empty between scans, and each expired wait is a wake-up: at 10 ms the idle
// worker cost a fifth of the program's steady CPU at 10,000 devices. A call
// waits at most this long, well below what a user notices.
constexpr int eventWaitMs = 50;
constexpr int retryDelayMs = 1000;
constexpr int gatherMs = 2;
// One posted call per answer let thousands of answers queue ahead of the main
// thread's timers (the scan among them) during a large scan; a batch is one
// posted call. Bounded in size and age, so the main thread still gets the
// answers in small steps and a lone answer waits at most about 30 ms.
constexpr int batchMaxEvents = 256;
constexpr int batchMaxAgeMs = 20;

void registerMetaTypes() {
    qRegisterMetaType<sdk::system::network_method_type>("sdk::system::network_method_type");
    qRegisterMetaType<IProtocolEngine::State>("IProtocolEngine::State");
    static const int protocolEventType =
        qRegisterMetaType<QSharedPointer<IProtocolEvent>>("QSharedPointer<IProtocolEvent>");
    Q_UNUSED(protocolEventType);
    static const int batchType = qRegisterMetaType<QVector<QSharedPointer<IProtocolEvent>>>(
        "QVector<QSharedPointer<IProtocolEvent>>");
    Q_UNUSED(batchType);
}

// The worker never runs an event loop; queued requests are served by
// letting the thread's dispatcher run once at fixed points of the loop.
void serveQueuedCalls() {
    if (auto* dispatcher = QThread::currentThread()->eventDispatcher()) {
        dispatcher->processEvents(QEventLoop::AllEvents);
    }
}

bool interruptionRequested() {
    return QThread::currentThread()->isInterruptionRequested();
}

void logDebug(const QString& text) {
    qDebug().noquote() << text;
}

}  // namespace

// --- ProtocolEngine ------------------------------------------------------------

ProtocolEngine::ProtocolEngine(IProtocolProvider provider, QObject* parent)
    : IProtocolEngine(parent), m_thread(std::make_unique<QThread>()) {
    auto worker = std::make_unique<Worker>(provider);
    registerMetaTypes();
    if (!provider) {
        throw std::invalid_argument("IProtocolProvider must be a valid function");
    }
    worker->moveToThread(m_thread.get());
    m_worker = worker.release();

    // The engine lives on the main thread and the worker on its own, so all
    // but started() cross threads as queued calls; started() runs the
    // worker's loop directly on the new thread.
    connect(m_thread.get(), &QThread::started, m_worker, &Worker::run);
    connect(m_worker, &Worker::stateChanged, this, &IProtocolEngine::stateChanged);
    connect(m_worker, &Worker::protocolEventsReceived, this,
            [this](const QVector<QSharedPointer<IProtocolEvent>>& events) {
                for (const auto& event : events) {
                    emit protocolEventReceived(event);
                }
            });
    connect(this, &ProtocolEngine::internalSendScan, m_worker, &Worker::sendScan);
    connect(this, &ProtocolEngine::internalSendConfigurationRequest, m_worker,
            &Worker::sendConfigurationRequest);
    connect(this, &ProtocolEngine::internalSendLocalizeRequest, m_worker,
            &Worker::sendLocalizeRequest);
}

ProtocolEngine::~ProtocolEngine() {
    {
        std::lock_guard<std::mutex> guard(m_lifecycle);
        stopLocked();
    }
    // The thread has ended, so nothing else can touch the worker any more.
    delete m_worker.data();
    m_thread.reset();
}

IProtocolEngine::State ProtocolEngine::state() const {
    return m_worker ? m_worker->state() : Stopped;
}

void ProtocolEngine::start() {
    std::lock_guard<std::mutex> guard(m_lifecycle);
    if (!m_thread->isRunning()) {
        m_thread->start(QThread::InheritPriority);
    }
}

void ProtocolEngine::stop() {
    std::lock_guard<std::mutex> guard(m_lifecycle);
    stopLocked();
}

void ProtocolEngine::stopLocked() {
    if (!m_thread->isRunning()) {
        return;
    }
    qDebug() << "ProtocolEngine::Worker::stop()";
    m_thread->requestInterruption();
    m_thread->wait();
    if (m_worker) {
        m_worker->resetProtocol();
    }
}

void ProtocolEngine::sendScan() {
    emit internalSendScan();
}

void ProtocolEngine::sendConfigurationRequest(QString cardIp, QString articleNumber,
                                              QString serialNumber, QString ip, QString netmask,
                                              QString gateway, QString deviceName,
                                              sdk::system::network_method_type networkMethod,
                                              QString username, QString password) {
    // The worker wipes its copy; the caller's stays the caller's to wipe.
    emit internalSendConfigurationRequest(cardIp, articleNumber, serialNumber, ip, netmask, gateway,
                                          deviceName, networkMethod, username,
                                          secretCopy(password));
}

void ProtocolEngine::sendLocalizeRequest(QString cardIp, QString articleNumber,
                                         QString serialNumber, QString username, QString password) {
    emit internalSendLocalizeRequest(cardIp, articleNumber, serialNumber, username,
                                     secretCopy(password));
}

// --- ProtocolEngine::Worker -------------------------------------------------------

ProtocolEngine::Worker::Worker(IProtocolProvider provider) : m_provider(std::move(provider)) {}

ProtocolEngine::Worker::~Worker() = default;

IProtocolEngine::State ProtocolEngine::Worker::state() const {
    return static_cast<IProtocolEngine::State>(m_state.load());
}

void ProtocolEngine::Worker::resetProtocol() {
    m_protocol.reset();
}

bool ProtocolEngine::Worker::running() const {
    return m_state.load() == IProtocolEngine::Running && m_protocol;
}

void ProtocolEngine::Worker::setState(IProtocolEngine::State state, const QString& details) {
    if (m_state.load() == state) {
        return;
    }
    m_state.store(state);
    emit stateChanged(state, details);
    if (thread()->isRunning() && QThread::currentThread() == thread()) {
        serveQueuedCalls();
    }
}

ProtocolEngine::Worker::Creation ProtocolEngine::Worker::createProtocol() {
    setState(IProtocolEngine::Initializing);
    QString failure;
    QString details;
    try {
        if (!m_provider) {
            throw std::bad_function_call();
        }
        m_protocol = m_provider();
        if (!m_protocol) {
            throw std::bad_function_call();
        }
        logDebug("Protocol Started");
        return Creation::Created;
    } catch (const std::bad_function_call&) {
        logDebug("Protocol Initialization Failed... Bad Protocol factory");
        setState(IProtocolEngine::BadFactory);
        return Creation::BadFactory;
    } catch (const dp::protocol_exception& e) {
        failure = QString::fromStdString(e.what());
        details = QStringLiteral("%1:%2").arg(QString::fromStdString(e.ip())).arg(e.port());
    } catch (const std::exception& e) {
        // Not the library's bind failure, but no reason to end the program:
        // it is retried like one.
        failure = QString::fromStdString(e.what());
    } catch (...) {
        failure = QStringLiteral("unknown error");
    }
    m_protocol.reset();
    if (interruptionRequested()) {
        logDebug("ProtocolEngine::Worker::run::interruption requested");
        return Creation::Interrupted;
    }
    logDebug(
        QStringLiteral("Protocol Initialization Failed... Will retry in 1 sec (%1)").arg(failure));
    setState(IProtocolEngine::InitializationFailed, details);
    return Creation::Retry;
}

bool ProtocolEngine::Worker::pumpEvents() {
    QVector<QSharedPointer<IProtocolEvent>> batch;
    QElapsedTimer batchAge;
    const auto deliver = [&] {
        if (!batch.isEmpty()) {
            emit protocolEventsReceived(batch);
            batch.clear();
        }
    };
    try {
        auto received = m_protocol->get_next_event(eventWaitMs);
        while (received) {
            if (interruptionRequested()) {
                deliver();
                setState(IProtocolEngine::Interrupted);
                return false;
            }
            if (auto event = convertProtocolEvent(*received)) {
                if (batch.isEmpty()) {
                    batchAge.start();
                }
                batch.append(event);
            } else {
                logDebug("Cannot convert event");
            }
            if (batch.size() >= batchMaxEvents ||
                (!batch.isEmpty() && batchAge.elapsed() >= batchMaxAgeMs)) {
                deliver();
            }
            received = m_protocol->get_next_event(0);
            if (!received) {
                // Drained. Answers arrive a batch per receive call, one by
                // one: sleeping on the queue at once meant a wake-up for
                // nearly every answer of a batch. A short pause lets the
                // batch complete first.
                QThread::msleep(gatherMs);
                received = m_protocol->get_next_event(eventWaitMs);
            }
        }
    } catch (...) {
        // What was received before the failure still counts.
        deliver();
        throw;
    }
    deliver();
    return true;
}

void ProtocolEngine::Worker::endRun() {
    setState(IProtocolEngine::Interrupted);
    setState(IProtocolEngine::Stopped);
    QThread::currentThread()->quit();
}

void ProtocolEngine::Worker::retryPause() {
    QThread::yieldCurrentThread();
    // Sliced so that a stop request does not wait out the whole second.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < retryDelayMs && !interruptionRequested()) {
        QThread::msleep(10);
    }
}

void ProtocolEngine::Worker::run() {
    for (;;) {
        serveQueuedCalls();
        if (!m_protocol) {
            const Creation outcome = createProtocol();
            if (outcome == Creation::Retry) {
                retryPause();
                continue;
            }
            if (outcome == Creation::Interrupted) {
                endRun();
                return;
            }
            if (outcome == Creation::BadFactory) {
                QThread::currentThread()->requestInterruption();
            }
        }
        if (interruptionRequested()) {
            logDebug("ProtocolEngine::Worker::run::interruption requested");
            endRun();
            return;
        }
        setState(IProtocolEngine::Running);
        try {
            pumpEvents();
        } catch (const std::exception& e) {
            // A throwing library instance is replaced by a new one, as if
            // its creation had failed.
            logDebug(QStringLiteral("Protocol failed... Will retry in 1 sec (%1)")
                         .arg(QString::fromStdString(e.what())));
            m_protocol.reset();
            setState(IProtocolEngine::InitializationFailed);
            retryPause();
            continue;
        } catch (...) {
            logDebug("Protocol failed... Will retry in 1 sec (unknown error)");
            m_protocol.reset();
            setState(IProtocolEngine::InitializationFailed);
            retryPause();
            continue;
        }
        serveQueuedCalls();
        QThread::yieldCurrentThread();
    }
}

void ProtocolEngine::Worker::sendScan() {
    if (!running()) {
        return;
    }
    try {
        m_protocol->send_discovery_request();
    } catch (const std::exception& e) {
        logDebug(QStringLiteral("Protocol.send_discovery_request failed: %1")
                     .arg(QString::fromStdString(e.what())));
    } catch (...) {
        logDebug("Protocol.send_discovery_request failed: unknown error");
    }
}

void ProtocolEngine::Worker::sendConfigurationRequest(
    QString cardIp, QString articleNumber, QString serialNumber, QString ip, QString netmask,
    QString gateway, QString deviceName, sdk::system::network_method_type networkMethod,
    QString username, QString password) {
    if (!running()) {
        wipeText(password);
        return;
    }
    QString failure;
    std::string secret = takeSecretUtf8(password);
    try {
        m_protocol->send_configuration_request(
            cardIp.toStdString(), articleNumber.toStdString(), serialNumber.toStdString(),
            ip.toStdString(), netmask.toStdString(), gateway.toStdString(),
            deviceName.toStdString(), networkMethod, username.toStdString(), secret);
    } catch (const std::exception& e) {
        // The library rejects addresses that are not dotted quads, and a card
        // that is gone, before anything is sent.
        failure = QString::fromStdString(e.what());
    } catch (...) {
        failure = QStringLiteral("unknown error");
    }
    dp::secure_wipe(secret);
    // The password never reaches the log.
    logDebug(QStringLiteral("Protocol.send_configuration_request") +
             QStringLiteral("(artNo = %1, serialNo = %2, ip = %3, netmask= %4, gateway = %5, "
                            "deviceName = %6, networkMethod = %7, username = %8, password = %9)")
                 .arg(articleNumber, serialNumber, ip, netmask, gateway, deviceName,
                      QString::number(static_cast<int>(networkMethod)), username,
                      QStringLiteral("***")) +
             QStringLiteral(" through ") + cardIp);
    if (!failure.isNull()) {
        logDebug(QStringLiteral("Protocol.send_configuration_request failed: %1").arg(failure));
    }
}

void ProtocolEngine::Worker::sendLocalizeRequest(QString cardIp, QString articleNumber,
                                                 QString serialNumber, QString username,
                                                 QString password) {
    if (!running()) {
        wipeText(password);
        return;
    }
    // The password never reaches the log.
    logDebug(QStringLiteral("Protocol.send_localize_request") +
             QStringLiteral("(artNo = %1, serialNo = %2, username = %3, password = %4)")
                 .arg(articleNumber, serialNumber, username, QStringLiteral("***")) +
             QStringLiteral(" through ") + cardIp);
    std::string secret = takeSecretUtf8(password);
    try {
        m_protocol->send_localize_request(cardIp.toStdString(), articleNumber.toStdString(),
                                          serialNumber.toStdString(), username.toStdString(),
                                          secret);
    } catch (const std::exception& e) {
        logDebug(QStringLiteral("Protocol.send_localize_request failed: %1")
                     .arg(QString::fromStdString(e.what())));
    } catch (...) {
        logDebug("Protocol.send_localize_request failed: unknown error");
    }
    dp::secure_wipe(secret);
}
