#include "web/AccessToken.h"

#include <civetweb.h>
#include <cryptopp/misc.h>
#include <cryptopp/osrng.h>

#include <cstring>

namespace webaccess {

namespace {

constexpr std::size_t tokenBytes = 32;
// Far more than a token needs; anything longer is not ours.
constexpr int maxTokenText = 128;

QByteArray fromCivetweb(int length, const char* buffer) {
    return length > 0 ? QByteArray(buffer, length) : QByteArray();
}

}  // namespace

QByteArray newToken() {
    QByteArray raw(static_cast<int>(tokenBytes), '\0');
    CryptoPP::OS_GenerateRandomBlock(false, reinterpret_cast<CryptoPP::byte*>(raw.data()),
                                     tokenBytes);
    return raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

bool sameToken(const QByteArray& offered, const QByteArray& expected) {
    if (expected.isEmpty() || offered.size() != expected.size()) {
        return false;
    }
    return CryptoPP::VerifyBufsEqual(reinterpret_cast<const CryptoPP::byte*>(offered.constData()),
                                     reinterpret_cast<const CryptoPP::byte*>(expected.constData()),
                                     static_cast<std::size_t>(expected.size()));
}

QByteArray tokenFromQuery(const char* query) {
    if (!query) {
        return {};
    }
    char buffer[maxTokenText + 1] = {};
    const int length = mg_get_var(query, std::strlen(query), "token", buffer, sizeof buffer);
    return fromCivetweb(length, buffer);
}

QByteArray tokenFromCookies(const char* cookieHeader) {
    if (!cookieHeader) {
        return {};
    }
    char buffer[maxTokenText + 1] = {};
    const int length = mg_get_cookie(cookieHeader, cookieName, buffer, sizeof buffer);
    return fromCivetweb(length, buffer);
}

QByteArray cookieFor(const QByteArray& token) {
    return QByteArray(cookieName) + '=' + token + "; Path=/; HttpOnly; SameSite=Strict";
}

}  // namespace webaccess
