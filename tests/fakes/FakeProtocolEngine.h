#pragma once

#include <QString>
#include <QVector>

#include "device/IProtocolEngine.h"

namespace fakes {

// A protocol engine that records the requests it is given and reports the
// state the test sets.
class FakeProtocolEngine : public IProtocolEngine {
    Q_OBJECT
public:
    struct ConfigurationCall {
        QString cardIp, articleNumber, serialNumber, ip, netmask, gateway, deviceName;
        sdk::system::network_method_type networkMethod;
        QString username, password;
    };
    struct LocalizeCall {
        QString cardIp, articleNumber, serialNumber, username, password;
    };

    using IProtocolEngine::IProtocolEngine;

    State state() const override { return m_state; }
    // Changes the state and emits stateChanged when it differs.
    void setState(State state, const QString& details = QString());

    void start() override { ++starts; }
    void stop() override { ++stops; }
    void sendScan() override { ++scans; }
    void sendConfigurationRequest(QString cardIp, QString articleNumber, QString serialNumber,
                                  QString ip, QString netmask, QString gateway, QString deviceName,
                                  sdk::system::network_method_type networkMethod, QString username,
                                  QString password) override;
    void sendLocalizeRequest(QString cardIp, QString articleNumber, QString serialNumber,
                             QString username, QString password) override;

    // Emits protocolEventReceived as the real engine does on the main thread.
    void deliver(QSharedPointer<IProtocolEvent> event) { emit protocolEventReceived(event); }

    int starts = 0;
    int stops = 0;
    int scans = 0;
    QVector<ConfigurationCall> configurationCalls;
    QVector<LocalizeCall> localizeCalls;

private:
    State m_state = Stopped;
};

}  // namespace fakes
