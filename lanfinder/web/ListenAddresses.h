#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

// Where the web server listens. The loopback alone unless remote access is
// on; the IPv6 loopback too where there is one (held rather than served, see
// PortHold), so that no other program can take [::1] at our port and catch
// browsers that try it first.
namespace listening {

// Whether the calling thread's network namespace has an IPv6 loopback.
bool hasIpv6Loopback();

// 127.0.0.1 (every IPv4 address with remote access) and ::1 where present.
QList<QHostAddress> addresses(bool remoteAccess);

// CivetWeb's "listening_ports" value for the IPv4 addresses among them and the
// port, e.g. "127.0.0.1:8080".
QByteArray listeningPorts(const QList<QHostAddress>& addresses, const QString& port);

}  // namespace listening
