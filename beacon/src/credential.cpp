#include <cryptopp/aes.h>
#include <cryptopp/base64.h>
#include <cryptopp/filters.h>
#include <cryptopp/modes.h>

#include <array>
#include <stdexcept>

#include "beacon/codec.h"
#include "beacon/secure_wipe.h"

namespace dp {
namespace {

// Shared with the devices' software; never transmitted.
constexpr char shared_key[] = "Rm7!kQ2vX9#pLw4z";
constexpr std::size_t key_length = 16;
static_assert(sizeof(shared_key) == key_length + 1);
constexpr std::size_t line_length = 72;

const CryptoPP::byte* key_bytes() {
    return reinterpret_cast<const CryptoPP::byte*>(shared_key);
}

std::array<CryptoPP::byte, CryptoPP::AES::BLOCKSIZE> zero_iv() {
    return {};
}

// Standard Base64 with a line feed after every full line that is followed by
// more output and one line feed at the very end.
std::string base64_lines(const std::string& bytes) {
    std::string flat;
    CryptoPP::StringSource source(
        bytes, true, new CryptoPP::Base64Encoder(new CryptoPP::StringSink(flat), false));
    std::string out;
    out.reserve(flat.size() + flat.size() / line_length + 1);
    for (std::size_t i = 0; i < flat.size(); i += line_length) {
        out.append(flat, i, line_length);
        out.push_back('\n');
    }
    if (out.empty()) {
        out.push_back('\n');
    }
    secure_wipe(flat);
    return out;
}

}  // namespace

std::string encrypt_credential(const std::string& text) {
    auto iv = zero_iv();
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption cipher(key_bytes(), key_length, iv.data());
    std::string encrypted;
    CryptoPP::StringSource source(text, true,
                                  new CryptoPP::StreamTransformationFilter(
                                      cipher, new CryptoPP::StringSink(encrypted),
                                      CryptoPP::StreamTransformationFilter::PKCS_PADDING));
    // The cipher text opens with the protocol's fixed key: it is as good as
    // the credential itself, so no copy of it is left behind.
    std::string lines = base64_lines(encrypted);
    secure_wipe(encrypted);
    return lines;
}

std::string decrypt_credential(const std::string& text) {
    // The decoder skips every character outside the alphabet, line feeds included.
    std::string encrypted;
    CryptoPP::StringSource source(text, true,
                                  new CryptoPP::Base64Decoder(new CryptoPP::StringSink(encrypted)));
    if (encrypted.empty() || encrypted.size() % CryptoPP::AES::BLOCKSIZE != 0) {
        throw std::invalid_argument("Invalid credential");
    }
    try {
        auto iv = zero_iv();
        CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption cipher(key_bytes(), key_length, iv.data());
        std::string plain;
        CryptoPP::StringSource decrypt(encrypted, true,
                                       new CryptoPP::StreamTransformationFilter(
                                           cipher, new CryptoPP::StringSink(plain),
                                           CryptoPP::StreamTransformationFilter::PKCS_PADDING));
        return plain;
    } catch (const CryptoPP::Exception&) {
        // Callers see one exception type whatever the crypto layer reports.
        throw std::invalid_argument("Invalid credential");
    }
}

}  // namespace dp
