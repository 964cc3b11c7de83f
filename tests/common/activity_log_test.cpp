#include "common/activity_log.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <QSignalSpy>

// Log lines carry the seconds in every locale, and no time-zone name.
TEST(ActivityLogTimeStamp, ShortDateAndTimeWithSeconds)
{
    const QDateTime moment(QDate(2026, 12, 11), QTime(9, 5, 7));
    const struct
    {
        const char *name;
        const char *locale;
        const char *expected;
    } cases[] = {
        {"German", "de_DE", "11.12.26 09:05:07"},
        {"AmericanWithDayPeriod", "en_US", "12/11/26 9:05:07 AM"},
        {"JapaneseWithLiteralsInTheFormat", "ja_JP", "2026/12/11 9時05分07秒"},
        {"Finnish", "fi_FI", "11.12.2026 9.05.07"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ActivityLog::timeStamp(moment, QLocale(QString::fromLatin1(c.locale))).toStdString(),
                  std::string(c.expected));
    }
}

TEST(ActivityLog, StartsWithItsTitleAndAppendsTextWithTheTime)
{
    ActivityLog log;
    QSignalSpy added(&log, &ActivityLog::lineAdded);
    const QDateTime before = QDateTime::currentDateTime();
    log.add(QStringLiteral("Application start ...  "));
    const QDateTime after = QDateTime::currentDateTime();

    ASSERT_EQ(log.lines().size(), 2);
    EXPECT_EQ(log.lines().first(), QStringLiteral("++ Log ++"));
    const QString &line = log.lines().last();
    const QLocale system = QLocale::system();
    EXPECT_TRUE(line == QStringLiteral("Application start ...  ") + ActivityLog::timeStamp(before, system) ||
                line == QStringLiteral("Application start ...  ") + ActivityLog::timeStamp(after, system))
        << line.toStdString();
    ASSERT_EQ(added.count(), 1);
    EXPECT_EQ(added.at(0).at(0).toString(), line);
}
