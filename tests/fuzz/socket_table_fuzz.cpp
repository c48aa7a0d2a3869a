// The kernel's socket tables are read for every loopback request; the reader
// must take any text without fault and name an owner only for a row that
// has exactly the ends asked for.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "web/SocketOwner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = fuzzsupport::silenceQt();
    (void)quiet;
    const QByteArray table = fuzzsupport::bytes(data, size);
    const webaccess::SocketEnd peer{QHostAddress(QStringLiteral("127.0.0.1")), 54321};
    const webaccess::SocketEnd server{QHostAddress(), 8080};
    const auto owner = webaccess::socketOwnerIn(table, peer, server);
    // A row for that connection holds both ports in hex.
    if (owner && (!table.contains(":D431") || !table.contains(":1F90"))) {
        std::abort();
    }
    webaccess::socketOwnerIn(table, {QHostAddress(QStringLiteral("::1")), 1}, {QHostAddress(), 2});
    return 0;
}
