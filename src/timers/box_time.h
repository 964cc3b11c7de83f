#pragma once

// Box time: whole seconds since 1970-01-01 00:00 on the box's clock, which runs two hours
// behind the PC's local time while the PC is on summer time and one hour behind on standard
// time (fixed offsets, not the zone's bias). For a zone without daylight saving the zone's own
// offset from UTC is used. Every conversion asks the season at the moment it runs, so a timer
// in the other season is shown and stored one hour off, as the box's users know it.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <QTimeZone>

#include <functional>

enum class Season
{
    Summer,  // "Sommer": daylight-saving time in force
    Winter,  // "Winter": standard time in force
    Unknown, // "unbekannt": the zone has no daylight-saving rule
    Failed,  // "": the zone could not be determined
};

QString seasonText(Season season);

class BoxClock
{
public:
    using NowFunction = std::function<QDateTime()>;

    // The system zone and the real current time.
    BoxClock();
    // For tests and callers that need a fixed zone or moment.
    BoxClock(QTimeZone zone, NowFunction now);

    Season season() const;
    // "Sommer", "Winter", "unbekannt" or "".
    QString GetSeason() const { return seasonText(season()); }
    // Seconds the box's clock is behind local time right now: 7200, 3600, or for "unbekannt"
    // the zone's offset from UTC (0 when the zone is unknown).
    int offsetSeconds() const;

    // date + secondsIntoDay (may be a day or more; the excess carries into the days) as box
    // time. Milliseconds are the caller's to drop.
    qint64 DateTimeToEpoch(const QDate &date, qint64 secondsIntoDay) const;
    qint64 DateTimeToEpoch(const QDate &date, const QTime &time) const;
    // The local wall-clock date and time of a box time. The result's time spec is UTC only so
    // that no zone rule moves it; read it with date() and time().
    QDateTime EpochToDateTime(qint64 boxTime) const;

private:
    QTimeZone m_zone;
    NowFunction m_now;
};

// hours * 3600 + minutes * 60 + seconds; milliseconds are dropped.
int TimeToSeconds(const QTime &time);
// The time of day of a number of seconds; whole days are dropped (90000 -> 01:00:00).
// Negative values count back from midnight.
QTime SecondsToTime(qint64 seconds);
