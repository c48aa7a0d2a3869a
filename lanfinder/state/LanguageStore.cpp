#include "state/LanguageStore.h"

#include <QDir>

#include "state/Settings.h"

Language::Language(const QString& code) : m_language("m_language", code) {}

QJsonValue Language::toJson() const {
    return QJsonValue(m_language.get());
}

bool Language::fromJson(const QJsonValue&) {
    return true;
}

LanguageStore::LanguageStore() {
    scan(webFolderPath() + QStringLiteral("/translations_json/"));
}

LanguageStore::LanguageStore(const QString& folder) {
    scan(folder);
}

void LanguageStore::scan(const QString& folder) {
    // Case-sensitive like the ".json" removal, so "de.JSON" cannot become a
    // code that names no translation file.
    const QStringList names = QDir(folder).entryList(
        {QStringLiteral("*.json")}, QDir::Files | QDir::CaseSensitive, QDir::Unsorted);
    for (QString name : names) {
        append(QSharedPointer<Language>::create(name.remove(QStringLiteral(".json"))));
    }
    if (m_items.isEmpty()) {
        append(QSharedPointer<Language>::create(QStringLiteral("en")));
    }
}
