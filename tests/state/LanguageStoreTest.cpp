#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "state/LanguageStore.h"

namespace {

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

QStringList codes(const LanguageStore& store) {
    QStringList list;
    for (const QJsonValue& code : store.toJson().toArray()) {
        list.append(code.toString());
    }
    return list;
}

}  // namespace

TEST(LanguageStore, CodesAreTheJsonFileNamesWithEveryJsonRemoved) {
    QTemporaryDir dir;
    touch(dir.path() + "/de.json");
    touch(dir.path() + "/en.json");
    touch(dir.path() + "/cs.json.json");
    touch(dir.path() + "/notes.txt");
    touch(dir.path() + "/fr.JSON");
    QDir(dir.path()).mkdir("folder.json");

    QStringList found = codes(LanguageStore(dir.path()));
    found.sort();
    EXPECT_EQ(found, (QStringList{"cs", "de", "en"}));
}

TEST(LanguageStore, NoTranslationFileGivesEnglishAlone) {
    QTemporaryDir dir;
    touch(dir.path() + "/readme.txt");
    EXPECT_EQ(codes(LanguageStore(dir.path())), QStringList{"en"});
    EXPECT_EQ(codes(LanguageStore(dir.path() + "/missing")), QStringList{"en"});
}

TEST(LanguageStore, DefaultScansTheWebFolderBesideTheWorkingDirectory) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("bin"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("www/lnf/translations_json"));
    touch(dir.path() + "/www/lnf/translations_json/it.json");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path() + "/bin"));
    const QStringList found = codes(LanguageStore());
    QDir::setCurrent(previous);
    EXPECT_EQ(found, QStringList{"it"});
}

TEST(Language, WritesItsCodeAndReadsNothing) {
    Language language("de");
    EXPECT_EQ(language.toJson(), QJsonValue("de"));
    EXPECT_TRUE(language.fromJson(QJsonValue(42)));
    EXPECT_EQ(language.m_language.get(), QStringLiteral("de"));
    EXPECT_EQ(language.m_language.name(), "m_language");
}
