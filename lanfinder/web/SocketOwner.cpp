#include "web/SocketOwner.h"

#include <QFile>
#include <QList>
#include <QtEndian>

#include <cctype>
#include <cstring>

namespace webaccess {

namespace {

// "0100007F:1F90" (IPv4) or 32 hex digits and a port (IPv6). The kernel
// prints each 32-bit word of the address as the number it holds in memory,
// so the bytes are recovered by storing the number back the same way.
bool parseEnd(const QByteArray& text, SocketEnd& end) {
    const int colon = text.indexOf(':');
    if (colon < 0 || text.indexOf(':', colon + 1) >= 0) {
        return false;
    }
    const QByteArray hex = text.left(colon);
    const QByteArray portHex = text.mid(colon + 1);
    if (portHex.size() != 4 || (hex.size() != 8 && hex.size() != 32)) {
        return false;
    }
    bool ok = false;
    const uint port = portHex.toUInt(&ok, 16);
    if (!ok) {
        return false;
    }
    quint8 bytes[16] = {};
    for (int word = 0; word < hex.size() / 8; ++word) {
        const QByteArray digits = hex.mid(word * 8, 8);
        for (char c : digits) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) {
                return false;
            }
        }
        const quint32 value = digits.toUInt(&ok, 16);
        if (!ok) {
            return false;
        }
        std::memcpy(bytes + word * 4, &value, sizeof value);
    }
    if (hex.size() == 8) {
        quint32 ipv4 = 0;
        std::memcpy(&ipv4, bytes, sizeof ipv4);
        end.address = QHostAddress(qFromBigEndian(ipv4));
    } else {
        end.address = QHostAddress(bytes);
    }
    end.port = static_cast<quint16>(port);
    return true;
}

// A null address in `wanted` stands for any address.
bool sameEnd(const SocketEnd& row, const SocketEnd& wanted) {
    if (row.port != wanted.port) {
        return false;
    }
    // An IPv4 peer of an IPv6 socket shows as ::ffff:a.b.c.d; ::1 and
    // 127.0.0.1 are different sockets, though Qt can be told otherwise.
    return wanted.address.isNull() ||
           row.address.isEqual(wanted.address, QHostAddress::ConvertV4MappedToIPv4);
}

// A connection in TIME_WAIT is owned by the kernel alone (its uid reads 0).
constexpr char timeWait[] = "06";

QByteArray readTable(const char* path) {
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    // Procfs files report no size: read to the end.
    return file.readAll();
}

}  // namespace

std::optional<uint> socketOwnerIn(const QByteArray& table, const SocketEnd& local,
                                  const SocketEnd& remote) {
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> columns = line.simplified().split(' ');
        // sl local_address rem_address st tx:rx tr:when retrnsmt uid ...
        if (columns.size() < 8 || !columns[0].endsWith(':')) {
            continue;
        }
        SocketEnd rowLocal;
        SocketEnd rowRemote;
        if (!parseEnd(columns[1], rowLocal) || !parseEnd(columns[2], rowRemote)) {
            continue;
        }
        if (columns[3] == timeWait || !sameEnd(rowLocal, local) || !sameEnd(rowRemote, remote)) {
            continue;
        }
        bool ok = false;
        const uint uid = columns[7].toUInt(&ok);
        if (ok) {
            return uid;
        }
    }
    return std::nullopt;
}

std::optional<uint> socketOwner(const SocketEnd& local, const SocketEnd& remote) {
    // thread-self: the web server's threads may live in another network
    // namespace than the process's first thread; self for kernels before 3.17.
    const bool threadTables = QFile::exists(QStringLiteral("/proc/thread-self/net/tcp"));
    const char* const tables[2][2] = {{"/proc/self/net/tcp", "/proc/self/net/tcp6"},
                                      {"/proc/thread-self/net/tcp", "/proc/thread-self/net/tcp6"}};
    for (const char* path : tables[threadTables ? 1 : 0]) {
        if (const auto uid = socketOwnerIn(readTable(path), local, remote)) {
            return uid;
        }
    }
    return std::nullopt;
}

}  // namespace webaccess
