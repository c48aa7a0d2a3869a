#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <optional>

// Who owns the other end of a TCP connection on this machine. A browser on
// the loopback may belong to any user of a shared computer; the kernel's
// socket tables name the user id of every socket.
namespace webaccess {

struct SocketEnd {
    QHostAddress address;
    quint16 port = 0;
};

// The user id of the socket whose local end is `local` and whose remote end
// is `remote` (a null address there: any), found in text in the format of /proc/net/tcp or
// /proc/net/tcp6. Rows that do not parse are skipped; nothing when no row matches.
std::optional<uint> socketOwnerIn(const QByteArray& table, const SocketEnd& local,
                                  const SocketEnd& remote);

// The same, looked up in the tables of the calling thread's network
// namespace as they are now.
std::optional<uint> socketOwner(const SocketEnd& local, const SocketEnd& remote);

}  // namespace webaccess
