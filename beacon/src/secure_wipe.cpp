#include "beacon/secure_wipe.h"

#include <cryptopp/misc.h>

namespace dp {

void secure_wipe(void* data, std::size_t size) noexcept {
    if (data == nullptr || size == 0) {
        return;
    }
    CryptoPP::SecureWipeBuffer(static_cast<CryptoPP::byte*>(data), size);
}

void secure_wipe(std::string& text) noexcept {
    // The whole capacity: a text that shrank earlier keeps its old tail there.
    text.resize(text.capacity());
    secure_wipe(&text[0], text.size());
    text.clear();
}

}  // namespace dp
