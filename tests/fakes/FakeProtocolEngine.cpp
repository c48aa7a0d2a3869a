#include "FakeProtocolEngine.h"

#include "device/SecretText.h"

namespace fakes {

void FakeProtocolEngine::setState(State state, const QString& details) {
    if (state == m_state) {
        return;
    }
    m_state = state;
    emit stateChanged(state, details);
}

void FakeProtocolEngine::sendConfigurationRequest(QString cardIp, QString articleNumber,
                                                  QString serialNumber, QString ip, QString netmask,
                                                  QString gateway, QString deviceName,
                                                  sdk::system::network_method_type networkMethod,
                                                  QString username, QString password) {
    // An unshared copy, as the real engine hands on, so the caller's wipe
    // does not reach the record.
    configurationCalls.append({cardIp, articleNumber, serialNumber, ip, netmask, gateway,
                               deviceName, networkMethod, username, secretCopy(password)});
}

void FakeProtocolEngine::sendLocalizeRequest(QString cardIp, QString articleNumber,
                                             QString serialNumber, QString username,
                                             QString password) {
    localizeCalls.append({cardIp, articleNumber, serialNumber, username, secretCopy(password)});
}

}  // namespace fakes
