// Any local process of the user can connect to the running instance's socket
// and send anything: the reader must take every byte sequence without a
// fault, and what it hands on must log as one line.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "shell/InstanceMessage.h"
#include "shell/Logger.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = fuzzsupport::silenceQt();
    (void)quiet;
    const QByteArray received = fuzzsupport::bytes(data, size);
    const InstanceMessage message = readInstanceMessage(received);
    if (message.status != InstanceMessage::Status::Complete) {
        return 0;
    }
    if (message.consumed < 4 || message.consumed > received.size()) {
        std::abort();
    }
    const QString logged = escapedForLog(message.text);
    for (const QChar c : logged) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar(0x2028) || c == QChar(0x2029)) {
            std::abort();
        }
    }
    // What a sender encodes comes back as it was sent.
    if (readInstanceMessage(encodeInstanceMessage(message.text)).text != message.text) {
        std::abort();
    }
    return 0;
}
