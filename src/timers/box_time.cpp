#include "timers/box_time.h"

namespace {

constexpr qint64 SecondsPerDay = 86400;
const QDate EpochDate(1970, 1, 1);

// Floor division, so that negative values keep a time of day in 0..86399.
qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

} // namespace

QString seasonText(Season season)
{
    switch (season) {
    case Season::Summer:
        return QStringLiteral("Sommer");
    case Season::Winter:
        return QStringLiteral("Winter");
    case Season::Unknown:
        return QStringLiteral("unbekannt");
    case Season::Failed:
        break;
    }
    return {};
}

BoxClock::BoxClock() : BoxClock(QTimeZone::systemTimeZone(), [] { return QDateTime::currentDateTimeUtc(); })
{
}

BoxClock::BoxClock(QTimeZone zone, NowFunction now) : m_zone(std::move(zone)), m_now(std::move(now)) {}

Season BoxClock::season() const
{
    if (!m_zone.isValid())
        return Season::Failed;
    const QDateTime now = m_now();
    if (m_zone.isDaylightTime(now))
        return Season::Summer;
    // A zone observes daylight saving when it is in force somewhere in the coming year; zones
    // that gave it up long ago have no rule now, as the system reports them.
    for (int month = 1; month < 12; ++month) {
        if (m_zone.isDaylightTime(now.addMonths(month)))
            return Season::Winter;
    }
    return Season::Unknown;
}

int BoxClock::offsetSeconds() const
{
    switch (season()) {
    case Season::Summer:
        return 7200;
    case Season::Winter:
        return 3600;
    case Season::Unknown:
        return m_zone.offsetFromUtc(m_now());
    case Season::Failed:
        break;
    }
    return 0;
}

qint64 BoxClock::DateTimeToEpoch(const QDate &date, qint64 secondsIntoDay) const
{
    return EpochDate.daysTo(date) * SecondsPerDay + secondsIntoDay - offsetSeconds();
}

qint64 BoxClock::DateTimeToEpoch(const QDate &date, const QTime &time) const
{
    return DateTimeToEpoch(date, TimeToSeconds(time));
}

QDateTime BoxClock::EpochToDateTime(qint64 boxTime) const
{
    const qint64 local = boxTime + offsetSeconds();
    const qint64 days = floorDiv(local, SecondsPerDay);
    const qint64 rest = local - days * SecondsPerDay;
    return QDateTime(EpochDate.addDays(days), QTime(0, 0).addSecs(static_cast<int>(rest)), Qt::UTC);
}

int TimeToSeconds(const QTime &time)
{
    if (!time.isValid())
        return 0;
    return time.hour() * 3600 + time.minute() * 60 + time.second();
}

QTime SecondsToTime(qint64 seconds)
{
    const qint64 rest = seconds - floorDiv(seconds, SecondsPerDay) * SecondsPerDay;
    const int hour = static_cast<int>(rest / 3600);
    const int minute = static_cast<int>((rest % 3600) / 60);
    return QTime(hour, minute, static_cast<int>(rest % 60));
}
