#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include "device/ChangeCheck.h"
#include "device/EventProcessor.h"
#include "device/OutcomeText.h"

namespace {

using sdk::system::operation_result;

QString browserCatalogue() {
    QFile file(qEnvironmentVariable("LANFINDER_SOURCE_DIR") + "/www/lnf/js/notify.js");
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

// The browser finds a notification's translation by its exact text; a text
// it does not know is shown untranslated, in English, and with no level.
TEST(OutcomeText, EveryOutcomeHasAnEntryInTheBrowsersCatalogue) {
    const QString catalogue = browserCatalogue();
    ASSERT_FALSE(catalogue.isEmpty()) << "www/lnf/js/notify.js not read";
    const auto texts = outcomeTexts();
    EXPECT_EQ(texts.size(), 12u);
    for (const char* text : texts) {
        EXPECT_TRUE(catalogue.contains(QStringLiteral("['%1', {").arg(QLatin1String(text))))
            << text;
    }
}

TEST(OutcomeText, ResultsOutsideEitherTableFallBackToOneText) {
    const char* fallback = "Unexpected operation result occured";
    EXPECT_STREQ(configurationOutcome(operation_result::NOT_SUPPORTED), fallback);
    EXPECT_STREQ(configurationOutcome(operation_result::UNKNOWN), fallback);
    EXPECT_STREQ(localizeOutcome(operation_result::RESERVED_IP), fallback);
    EXPECT_STREQ(localizeOutcome(static_cast<operation_result>(42)), fallback);
    EXPECT_STREQ(configurationOutcome(operation_result::ACCEPTED),
                 "Configuration changed successfully");
}

TEST(OutcomeText, TheUnansweredRequestsTextHasAnEntryInTheBrowsersCatalogue) {
    EXPECT_TRUE(
        browserCatalogue().contains(QStringLiteral("['%1', {").arg(EventProcessor::noAnswer)));
}

// A refused change is told by a notification the browser words the same way;
// the one that names a device is matched by its beginning.
TEST(OutcomeText, EveryRefusalOfAChangeHasAnEntryInTheBrowsersCatalogue) {
    const QString catalogue = browserCatalogue();
    ASSERT_FALSE(catalogue.isEmpty()) << "www/lnf/js/notify.js not read";
    const QStringList texts = ChangeCheck::refusalTexts();
    EXPECT_EQ(texts.size(), 4);
    for (const QString& text : texts) {
        EXPECT_TRUE(catalogue.contains(QStringLiteral("['%1', {").arg(text))) << text.toStdString();
    }
}
