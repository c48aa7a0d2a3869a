#pragma once

#include <QString>

#include "state/Property.h"
#include "state/Serializable.h"

// One interface language: a translation file's base name.
class Language : public ISerializable {
public:
    explicit Language(const QString& code = QString());

    // The code as a JSON string.
    QJsonValue toJson() const override;
    // Reads nothing.
    bool fromJson(const QJsonValue& value) override;

    PropertyValue<QString> m_language;
};

// The interface languages, found once from the names of the "*.json" files
// of the translation folder; "en" alone when there is none.
class LanguageStore : public ISerializableCollection<Language> {
public:
    // Scans webFolderPath() + "/translations_json/".
    LanguageStore();
    // Scans the given folder.
    explicit LanguageStore(const QString& folder);

private:
    void scan(const QString& folder);
};
