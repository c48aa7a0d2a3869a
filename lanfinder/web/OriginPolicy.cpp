#include "web/OriginPolicy.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>

namespace {

// Splits "name:port", "[v6]:port" or a bare name; a missing port is HTTP's 80.
bool splitHost(const QString& header, QString& host, int& port) {
    QString text = header.trimmed();
    if (text.isEmpty()) {
        return false;
    }
    QString portText;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0) {
            return false;
        }
        host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':'))) {
                return false;
            }
            portText = rest.mid(1);
        }
    } else {
        const int colon = text.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0) {
            if (text.indexOf(QLatin1Char(':')) != colon) {
                return false;  // an unbracketed IPv6 address is not a valid Host
            }
            host = text.left(colon);
            portText = text.mid(colon + 1);
        } else {
            host = text;
        }
    }
    if (host.isEmpty()) {
        return false;
    }
    if (portText.isNull()) {
        port = 80;
        return true;
    }
    bool ok = false;
    port = portText.toInt(&ok);
    return ok && port > 0 && port < 65536 && portText == QString::number(port);
}

}  // namespace

OriginPolicy::OriginPolicy(int port, QStringList ownNames) : port_(port) {
    for (const QString& name : ownNames) {
        ownNames_.append(name.toLower());
    }
}

QStringList OriginPolicy::currentOwnNames() {
    QStringList names;
    const QString hostName = QHostInfo::localHostName();
    if (!hostName.isEmpty()) {
        names.append(hostName);
        const QString domain = QHostInfo::localDomainName();
        if (!domain.isEmpty()) {
            names.append(hostName + QLatin1Char('.') + domain);
        }
    }
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        QHostAddress plain(address);
        plain.setScopeId(QString());
        names.append(plain.toString());
    }
    return names;
}

bool OriginPolicy::isOwnHost(const QString& host) const {
    const QString name = host.toLower();
    if (name == QLatin1String("localhost")) {
        return true;
    }
    QHostAddress address;
    if (address.setAddress(name)) {
        if (address.isLoopback()) {
            return true;
        }
        // Written forms of one address differ ("::1" and "0:0::1"): compare as addresses.
        for (const QString& own : ownNames_) {
            QHostAddress ownAddress;
            if (ownAddress.setAddress(own) && ownAddress.isEqual(address)) {
                return true;
            }
        }
        return false;
    }
    return ownNames_.contains(name);
}

QString OriginPolicy::refusal(const QString& hostHeader, const QString& originHeader) const {
    QString host;
    int port = 0;
    if (!splitHost(hostHeader, host, port)) {
        return QStringLiteral("missing or malformed Host \"%1\"").arg(hostHeader);
    }
    if (port != port_ || !isOwnHost(host)) {
        return QStringLiteral("Host \"%1\" does not name this computer on port %2")
            .arg(hostHeader)
            .arg(port_);
    }
    if (originHeader.isNull()) {
        return QString();
    }
    const QString expected = QStringLiteral("http://") + hostHeader.trimmed();
    if (originHeader.trimmed().compare(expected, Qt::CaseInsensitive) != 0) {
        return QStringLiteral("Origin \"%1\" is not \"%2\"").arg(originHeader, expected);
    }
    return QString();
}
