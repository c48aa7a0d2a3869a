#pragma once

#include <QPointer>
#include <QThread>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "device/IProtocolEngine.h"

namespace dp {
class idevice_protocol;
}

// Makes a protocol instance; called on the worker thread every time the
// engine needs a new one.
using IProtocolProvider = std::function<std::unique_ptr<dp::idevice_protocol>()>;

// Runs the protocol library on a worker thread of its own: creates the
// instance through the provider (retrying every second while binding
// fails), pumps received messages into events for the main thread and
// carries the requests of the main thread to the library.
class ProtocolEngine : public IProtocolEngine {
    Q_OBJECT
public:
    // Throws std::invalid_argument "IProtocolProvider must be a valid
    // function" for an empty provider. The thread is not started here.
    explicit ProtocolEngine(IProtocolProvider provider, QObject* parent = nullptr);
    // Stops as stop() does.
    ~ProtocolEngine() override;

    State state() const override;

    // start() and stop() may be called from any thread; stop() waits for the
    // worker to end and then drops the protocol instance, so that the next
    // start() asks the provider for a new one.
    void start() override;
    void stop() override;
    void sendScan() override;
    void sendConfigurationRequest(QString cardIp, QString articleNumber, QString serialNumber,
                                  QString ip, QString netmask, QString gateway, QString deviceName,
                                  sdk::system::network_method_type networkMethod, QString username,
                                  QString password) override;
    void sendLocalizeRequest(QString cardIp, QString articleNumber, QString serialNumber,
                             QString username, QString password) override;

    class Worker;

signals:
    void internalSendScan();
    void internalSendConfigurationRequest(QString cardIp, QString articleNumber,
                                          QString serialNumber, QString ip, QString netmask,
                                          QString gateway, QString deviceName,
                                          sdk::system::network_method_type networkMethod,
                                          QString username, QString password);
    void internalSendLocalizeRequest(QString cardIp, QString articleNumber, QString serialNumber,
                                     QString username, QString password);

private:
    void stopLocked();

    std::unique_ptr<QThread> m_thread;
    QPointer<Worker> m_worker;
    std::mutex m_lifecycle;
};

// Lives on the worker thread; only it touches the protocol instance.
class ProtocolEngine::Worker : public QObject {
    Q_OBJECT
public:
    explicit Worker(IProtocolProvider provider);
    ~Worker() override;

    IProtocolEngine::State state() const;
    // Drops the protocol instance; only while the worker thread is not running.
    void resetProtocol();

public slots:
    // The whole life of the worker thread; never enters an event loop, but
    // serves queued requests between passes.
    void run();
    void sendScan();
    // Each wipes its password once the library has taken it.
    void sendConfigurationRequest(QString cardIp, QString articleNumber, QString serialNumber,
                                  QString ip, QString netmask, QString gateway, QString deviceName,
                                  sdk::system::network_method_type networkMethod, QString username,
                                  QString password);
    void sendLocalizeRequest(QString cardIp, QString articleNumber, QString serialNumber,
                             QString username, QString password);

signals:
    // Converted events in the order received, a few at a time; the engine
    // hands them on one by one.
    void protocolEventsReceived(QVector<QSharedPointer<IProtocolEvent>> events);
    void stateChanged(IProtocolEngine::State state, QString details);

private:
    enum class Creation { Created, BadFactory, Retry, Interrupted };

    void setState(IProtocolEngine::State state, const QString& details = QString());
    Creation createProtocol();
    // Drains the waiting messages; false when the thread is asked to stop.
    bool pumpEvents();
    void endRun();
    void retryPause();
    bool running() const;

    IProtocolProvider m_provider;
    std::unique_ptr<dp::idevice_protocol> m_protocol;
    std::atomic<int> m_state{IProtocolEngine::Stopped};
};
