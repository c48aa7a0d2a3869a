#include "device/TextLimit.h"

namespace {

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string cutAtCharacter(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    std::size_t end = maxBytes;
    // The byte at end starts the first character left out; step back while
    // it continues a character that began before the cut.
    while (end > 0 && isContinuationByte(text[end])) {
        --end;
    }
    return text.substr(0, end);
}
