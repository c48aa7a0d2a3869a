// A browser's frames as the fragment joiner meets them: the input is a run of
// frames, each a header byte (FIN and opcode), a two-byte length and the
// payload. Whatever they hold, no message beyond the limit is delivered, and
// a message is delivered only with a frame that ends it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "web/MessageAssembler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MessageAssembler assembler;
    std::size_t at = 0;
    while (at + 3 <= size) {
        const int bits = data[at];
        // Scaled so that a few frames can pass the limit.
        std::size_t length = (std::size_t(data[at + 1]) << 8 | data[at + 2]) * 2;
        at += 3;
        const char* payload = reinterpret_cast<const char*>(data + at);
        std::size_t available = size - at;
        QByteArray padded;
        if (length > available) {
            padded = QByteArray(payload, static_cast<int>(available));
            padded.resize(static_cast<int>(length));
            payload = padded.constData();
            available = length;
        }
        QByteArray message;
        const MessageAssembler::Outcome outcome = assembler.add(bits, payload, length, message);
        if (outcome == MessageAssembler::Outcome::Message &&
            ((bits & 0x80) == 0 ||
             static_cast<std::size_t>(message.size()) > MessageAssembler::maxMessageBytes)) {
            std::abort();
        }
        at += std::min(length, size - at);
    }
    return 0;
}
