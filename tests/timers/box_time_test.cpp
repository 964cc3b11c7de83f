#include "timers/box_time.h"

#include <gtest/gtest.h>

#include "test_files.h"

namespace {

QDateTime utc(int y, int m, int d, int h = 12)
{
    return QDateTime(QDate(y, m, d), QTime(h, 0), Qt::UTC);
}

BoxClock clockAt(const char *zone, const QDateTime &now)
{
    return BoxClock(QTimeZone(QByteArray(zone)), [now] { return now; });
}

BoxClock berlinSummer()
{
    return clockAt("Europe/Berlin", utc(2024, 7, 1));
}
BoxClock berlinWinter()
{
    return clockAt("Europe/Berlin", utc(2024, 1, 15));
}
BoxClock tokyo()
{
    return clockAt("Asia/Tokyo", utc(2024, 7, 1));
}
BoxClock noZone()
{
    return BoxClock(QTimeZone(), [] { return utc(2024, 7, 1); });
}

} // namespace

TEST(BoxClock, SeasonAndOffset)
{
    struct Case
    {
        const char *name;
        BoxClock clock;
        const char *season;
        int offset;
    };
    const Case cases[] = {
        {"BerlinInJuly", berlinSummer(), "Sommer", 7200},
        {"BerlinInJanuary", berlinWinter(), "Winter", 3600},
        {"BerlinJustAfterSpringForward", clockAt("Europe/Berlin", utc(2024, 3, 31, 1)), "Sommer", 7200},
        {"BerlinJustBeforeSpringForward",
         clockAt("Europe/Berlin", QDateTime(QDate(2024, 3, 31), QTime(0, 59), Qt::UTC)), "Winter", 3600},
        {"SouthernHemisphereSummerInJanuary", clockAt("Australia/Sydney", utc(2024, 1, 15)), "Sommer", 7200},
        {"ZoneWithoutDaylightSaving", tokyo(), "unbekannt", 9 * 3600},
        {"ZoneWithoutDaylightSavingWestOfUtc", clockAt("America/Phoenix", utc(2024, 7, 1)), "unbekannt",
         -7 * 3600},
        {"NoZone", noZone(), "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.clock.GetSeason(), QString::fromLatin1(c.season));
        EXPECT_EQ(c.clock.offsetSeconds(), c.offset);
    }
}

TEST(BoxClock, DateTimeToEpoch)
{
    struct Case
    {
        const char *name;
        BoxClock clock;
        QDate date;
        QTime time;
        qint64 expected;
    };
    const Case cases[] = {
        {"SummerTwoAmIsZero", berlinSummer(), QDate(1970, 1, 1), QTime(2, 0), 0},
        {"WinterOneAmIsZero", berlinWinter(), QDate(1970, 1, 1), QTime(1, 0), 0},
        {"ChristmasEveWinter", berlinWinter(), QDate(2004, 12, 24), QTime(20, 15), 1103915700},
        // The season of the moment counts, not the one of the date.
        {"ChristmasEveOnASummerDay", berlinSummer(), QDate(2004, 12, 24), QTime(20, 15), 1103912100},
        {"MillisecondsDropped", berlinWinter(), QDate(1970, 1, 2), QTime(1, 0, 0, 999), 86400},
        {"ZoneWithoutDaylightSavingUsesItsOffset", tokyo(), QDate(1970, 1, 1), QTime(9, 0), 0},
        {"Signed32BitEnd", berlinWinter(), QDate(2038, 1, 19), QTime(4, 14, 7), 2147483647},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.clock.DateTimeToEpoch(c.date, c.time), c.expected);
    }
}

TEST(BoxClock, TimePastMidnightCarriesIntoTheNextDay)
{
    const BoxClock clock = berlinWinter();
    const QDate day(2024, 2, 28);
    const qint64 fiveToMidnightPlusTen = TimeToSeconds(QTime(23, 55)) + TimeToSeconds(QTime(0, 10));
    EXPECT_EQ(clock.DateTimeToEpoch(day, fiveToMidnightPlusTen),
              clock.DateTimeToEpoch(day.addDays(1), QTime(0, 5)));
    EXPECT_EQ(clock.DateTimeToEpoch(day, 2 * 86400 + 60), clock.DateTimeToEpoch(day.addDays(2), QTime(0, 1)));
}

TEST(BoxClock, EpochToDateTimeInvertsDateTimeToEpoch)
{
    struct Case
    {
        const char *name;
        BoxClock clock;
    };
    const Case clocks[] = {
        {"Summer", berlinSummer()}, {"Winter", berlinWinter()}, {"Tokyo", tokyo()}, {"NoZone", noZone()}};
    const QDateTime moments[] = {
        QDateTime(QDate(1970, 1, 1), QTime(9, 0), Qt::UTC),
        QDateTime(QDate(2004, 12, 24), QTime(20, 15), Qt::UTC),
        QDateTime(QDate(2024, 3, 31), QTime(2, 30), Qt::UTC),
        QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59), Qt::UTC),
        QDateTime(QDate(2038, 1, 19), QTime(3, 14, 7), Qt::UTC),
    };
    for (const Case &c : clocks) {
        SCOPED_TRACE(c.name);
        for (const QDateTime &m : moments) {
            const qint64 box = c.clock.DateTimeToEpoch(m.date(), m.time());
            const QDateTime back = c.clock.EpochToDateTime(box);
            EXPECT_EQ(back.date(), m.date()) << box;
            EXPECT_EQ(back.time(), m.time()) << box;
        }
    }
    const QDateTime zero = berlinWinter().EpochToDateTime(0);
    EXPECT_EQ(zero.date(), QDate(1970, 1, 1));
    EXPECT_EQ(zero.time(), QTime(1, 0));
    // A box time just below the offset lands on the evening before 1970 instead of failing.
    const QDateTime before = berlinSummer().EpochToDateTime(-7201);
    EXPECT_EQ(before.date(), QDate(1969, 12, 31));
    EXPECT_EQ(before.time(), QTime(23, 59, 59));
}

TEST(TimeOfDay, SecondsConversions)
{
    EXPECT_EQ(TimeToSeconds(QTime(1, 30, 0)), 5400);
    EXPECT_EQ(TimeToSeconds(QTime(23, 59, 59, 999)), 86399);
    EXPECT_EQ(TimeToSeconds(QTime()), 0);
    const std::pair<qint64, QTime> cases[] = {
        {0, QTime(0, 0)},     {60, QTime(0, 1)},    {5400, QTime(1, 30)}, {86399, QTime(23, 59, 59)},
        {86400, QTime(0, 0)}, {90000, QTime(1, 0)}, {-60, QTime(23, 59)}, {2147483647, QTime(3, 14, 7)},
    };
    for (const auto &[seconds, time] : cases)
        EXPECT_EQ(SecondsToTime(seconds), time) << seconds;
}
