#include "web/RemoteAccessLinks.h"

#include <QHostAddress>

QStringList remoteAccessLinks(const QVector<NIC>& cards, int port, const QByteArray& token) {
    QStringList links;
    for (const NIC& card : cards) {
        for (const NIC::Address& address : card.addresses.get()) {
            const QHostAddress ip(address.ip.get());
            if (ip.protocol() != QAbstractSocket::IPv4Protocol || ip.isLoopback() ||
                ip == QHostAddress(QHostAddress::AnyIPv4)) {
                continue;
            }
            const QString link = QStringLiteral("http://%1:%2/?token=%3")
                                     .arg(ip.toString())
                                     .arg(port)
                                     .arg(QString::fromLatin1(token));
            if (!links.contains(link)) {
                links.append(link);
            }
        }
    }
    return links;
}
