#include "web/ListenAddresses.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace listening {

bool hasIpv6Loopback() {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    address.sin6_port = 0;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

QList<QHostAddress> addresses(bool remoteAccess) {
    QList<QHostAddress> list{remoteAccess ? QHostAddress(QHostAddress::AnyIPv4)
                                          : QHostAddress(QHostAddress::LocalHost)};
    if (hasIpv6Loopback()) {
        list.append(QHostAddress(QHostAddress::LocalHostIPv6));
    }
    return list;
}

QByteArray listeningPorts(const QList<QHostAddress>& addresses, const QString& port) {
    QByteArrayList parts;
    for (const QHostAddress& address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            parts.append((address.toString() + QLatin1Char(':') + port).toUtf8());
        }
    }
    return parts.join(',');
}

}  // namespace listening
