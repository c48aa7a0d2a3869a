#pragma once

#include <QByteArray>

// The secret a browser on another computer must show to use the web server.
// It is made anew for every run, so a link handed out once stops working when
// the program ends.
namespace webaccess {

inline constexpr char cookieName[] = "lanfinder_token";

// 32 random bytes from the system's generator, base64url without padding.
QByteArray newToken();

// Compares in time that depends on the lengths only, so that an attacker
// cannot learn the token a character at a time from the answer times.
bool sameToken(const QByteArray& offered, const QByteArray& expected);

// The "token" parameter of a query string ("a=1&token=..."), URL-decoded;
// empty when absent, malformed or unreasonably long.
QByteArray tokenFromQuery(const char* query);

// The token cookie of a Cookie header; empty when absent or unreasonably long.
QByteArray tokenFromCookies(const char* cookieHeader);

// The Set-Cookie value that hands the token to the browser: never readable by
// scripts and never sent along with requests that other sites start.
QByteArray cookieFor(const QByteArray& token);

}  // namespace webaccess
