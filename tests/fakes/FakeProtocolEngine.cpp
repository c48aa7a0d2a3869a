#include "FakeProtocolEngine.h"

namespace fakes {

void FakeProtocolEngine::setState(State state, const QString& details) {
    if (state == m_state) {
        return;
    }
    m_state = state;
    emit stateChanged(state, details);
}

void FakeProtocolEngine::sendConfigurationRequest(QString articleNumber, QString serialNumber,
                                                  QString ip, QString netmask, QString gateway,
                                                  QString deviceName,
                                                  sdk::system::network_method_type networkMethod,
                                                  QString username, QString password) {
    configurationCalls.append({articleNumber, serialNumber, ip, netmask, gateway, deviceName,
                               networkMethod, username, password});
}

void FakeProtocolEngine::sendLocalizeRequest(QString articleNumber, QString serialNumber,
                                             QString username, QString password) {
    localizeCalls.append({articleNumber, serialNumber, username, password});
}

}  // namespace fakes
