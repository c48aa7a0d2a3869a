#include "device/SecretText.h"

#include <beacon/secure_wipe.h>

void wipeText(QString& text) {
    // Literals and raw data live in memory that is not ours to write.
    if (text.isEmpty() || !text.data_ptr()->isMutable()) {
        text.clear();
        return;
    }
    // constData(): data() would detach a shared text and wipe only the new copy.
    dp::secure_wipe(const_cast<QChar*>(text.constData()),
                    static_cast<std::size_t>(text.size()) * sizeof(QChar));
    text.clear();
}

QString secretCopy(const QString& text) {
    return QString(text.unicode(), text.size());
}

std::string takeSecretUtf8(QString& text) {
    QByteArray utf8 = text.toUtf8();
    wipeText(text);
    std::string secret(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    dp::secure_wipe(utf8.data(), static_cast<std::size_t>(utf8.size()));
    return secret;
}
