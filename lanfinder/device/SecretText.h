#pragma once

#include <QString>

#include <string>

// Zeros the characters of a secret (a password) and empties the text. Every
// copy that shares the characters sees the zeros too, so call it only at the
// secret's last use; hand a secret on to another thread as an unshared copy
// (secretCopy) so each side can wipe its own.
void wipeText(QString& text);

// A copy that shares no memory with text.
QString secretCopy(const QString& text);

// The secret as UTF-8 for the protocol library; text and the conversion's
// own buffer are wiped on the way.
std::string takeSecretUtf8(QString& text);
