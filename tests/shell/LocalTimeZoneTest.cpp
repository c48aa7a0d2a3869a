#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include "QtWait.h"
#include "shell/LocalTimeZone.h"

namespace {

const qint64 summerNoonUtc =
    QDateTime(QDate(2026, 7, 1), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();
const qint64 winterNoonUtc =
    QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();

QString localText(qint64 msecs) {
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime).toString(Qt::ISODate);
}

// The same instant converted by Qt's own zone code, not by the C library.
QString zoneText(qint64 msecs, const char* zone) {
    return QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone(zone))
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

class LocalTimeZoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_hadTz = tz != nullptr;
        m_savedTz = tz ? QByteArray(tz) : QByteArray();
        ::unsetenv("TZ");
        ASSERT_TRUE(m_dir.isValid());
        m_zone = QFile::encodeName(m_dir.filePath("localtime"));
        install("Europe/Berlin");
    }

    void TearDown() override {
        if (m_hadTz) {
            ::setenv("TZ", m_savedTz.constData(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

    // Replaces the zone file by a copy of the named zone, as a change of the
    // system's zone does (a new file in its place).
    void install(const char* zone) {
        const QString next = m_dir.filePath("next");
        QFile::remove(next);
        ASSERT_TRUE(QFile::copy(QStringLiteral("/usr/share/zoneinfo/") + zone, next));
        ASSERT_EQ(std::rename(QFile::encodeName(next).constData(), m_zone.constData()), 0);
    }

    QTemporaryDir m_dir;
    QByteArray m_zone;
    bool m_hadTz = false;
    QByteArray m_savedTz;
};

TEST_F(LocalTimeZoneTest, PinnedZoneConvertsAsTheZoneItNames) {
    ASSERT_TRUE(shell::pinLocalTimeZone(m_zone));
    EXPECT_EQ(localText(summerNoonUtc), "2026-07-01T14:00:00");
    EXPECT_EQ(localText(summerNoonUtc), zoneText(summerNoonUtc, "Europe/Berlin"));
    EXPECT_EQ(localText(winterNoonUtc), "2026-01-15T13:00:00");
    EXPECT_EQ(localText(winterNoonUtc), zoneText(winterNoonUtc, "Europe/Berlin"));
    EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(winterNoonUtc, Qt::LocalTime).toMSecsSinceEpoch(),
              winterNoonUtc);
}

TEST_F(LocalTimeZoneTest, ZoneChosenByTheUserIsLeftAlone) {
    ::setenv("TZ", "Asia/Tokyo", 1);
    EXPECT_FALSE(shell::pinLocalTimeZone(m_zone));
    EXPECT_STREQ(std::getenv("TZ"), "Asia/Tokyo");
}

TEST_F(LocalTimeZoneTest, WatchMakesAChangedZoneFileCount) {
    ASSERT_TRUE(shell::pinLocalTimeZone(m_zone));
    shell::LocalTimeZoneWatch watch(m_zone);
    EXPECT_FALSE(watch.check());

    install("Asia/Tokyo");
    // Pinned, conversions no longer look at the file by themselves.
    EXPECT_EQ(localText(summerNoonUtc), "2026-07-01T14:00:00");
    EXPECT_TRUE(watch.check());
    EXPECT_EQ(localText(summerNoonUtc), "2026-07-01T21:00:00");
    EXPECT_EQ(localText(summerNoonUtc), zoneText(summerNoonUtc, "Asia/Tokyo"));
    EXPECT_FALSE(watch.check());

    // A second change is seen as well, now by the watch's own timer.
    install("Europe/Berlin");
    ASSERT_TRUE(
        testsupport::pumpUntil([&] { return localText(summerNoonUtc) == "2026-07-01T14:00:00"; },
                               10 * shell::LocalTimeZoneWatch::checkIntervalMs));
}

}  // namespace
