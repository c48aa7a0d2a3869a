#pragma once

#include <QMetaType>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <beacon/system_types.h>

#include "device/ProtocolEvents.h"

// The application's side of the discovery protocol: runs the protocol,
// reports its state, delivers device answers and carries requests out.
class IProtocolEngine : public QObject {
    Q_OBJECT
public:
    // Carried as an int; 4 is never produced.
    enum State {
        // No protocol instance yet; the provider is about to be asked.
        Initializing = 0,
        // The provider is empty or gave no instance; the worker gave up.
        BadFactory = 1,
        // Creating the instance failed; another try follows in a second.
        InitializationFailed = 2,
        // Answers are delivered and requests carried out.
        Running = 3,
        // The worker saw the request to stop.
        Interrupted = 5,
        // Initial state and the last state of every run.
        Stopped = 6,
    };
    Q_ENUM(State)

    using QObject::QObject;

    virtual State state() const = 0;

public slots:
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void sendScan() = 0;
    // The requests that carry credentials go out of the one card whose
    // address is cardIp (the card the device answered on) and no other.
    virtual void sendConfigurationRequest(QString cardIp, QString articleNumber,
                                          QString serialNumber, QString ip, QString netmask,
                                          QString gateway, QString deviceName,
                                          sdk::system::network_method_type networkMethod,
                                          QString username, QString password) = 0;
    virtual void sendLocalizeRequest(QString cardIp, QString articleNumber, QString serialNumber,
                                     QString username, QString password) = 0;

signals:
    // One device answer; delivered on the main thread.
    void protocolEventReceived(QSharedPointer<IProtocolEvent> event);
    // The engine's new state; details carry "ip:port" for InitializationFailed.
    void stateChanged(IProtocolEngine::State state, QString details);
};

Q_DECLARE_METATYPE(sdk::system::network_method_type)
