#include "web/MessageAssembler.h"

namespace {

constexpr int finBit = 0x80;
constexpr int opContinuation = 0x0;
constexpr int opText = 0x1;
constexpr int opBinary = 0x2;
constexpr int opClose = 0x8;
constexpr int opPing = 0x9;
constexpr int opPong = 0xa;

}  // namespace

MessageAssembler::Outcome MessageAssembler::add(int bits, const char* data, std::size_t length,
                                                QByteArray& message) {
    const int opcode = bits & 0x0f;
    const bool fin = (bits & finBit) != 0;

    if (opcode == opClose) {
        return Outcome::Close;
    }
    if (opcode == opPing || opcode == opPong) {
        return Outcome::Control;
    }
    if (opcode == opText || opcode == opBinary) {
        if (assembling_) {
            error_ = QStringLiteral("a new message inside a fragmented one");
            return Outcome::ProtocolError;
        }
        assembling_ = true;
        assemblingText_ = opcode == opText;
        partial_.clear();
    } else if (opcode != opContinuation || !assembling_) {
        error_ = QStringLiteral("unexpected frame opcode %1").arg(opcode);
        return Outcome::ProtocolError;
    }

    // Checked apart first, so that the sum cannot wrap around.
    if (length > maxMessageBytes ||
        static_cast<std::size_t>(partial_.size()) + length > maxMessageBytes) {
        partial_.clear();
        assembling_ = false;
        return Outcome::TooBig;
    }
    if (assemblingText_) {
        partial_.append(data, static_cast<int>(length));
    }
    if (!fin) {
        return Outcome::Pending;
    }
    assembling_ = false;
    if (!assemblingText_) {
        return Outcome::BinaryDropped;
    }
    message = partial_;
    partial_.clear();
    return Outcome::Message;
}
