#include "common/activity_log.h"

#include <QDateTime>
#include <QLocale>

namespace {

// The locale's long time format without its time-zone field ('t' outside quoted text): log
// lines need the seconds of an event, not the zone the machine runs in.
QString timeWithSeconds(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace

ActivityLog::ActivityLog(QObject *parent) : QObject(parent)
{
    m_lines.append(QStringLiteral("++ Log ++"));
}

QString ActivityLog::timeStamp()
{
    return timeStamp(QDateTime::currentDateTime(), QLocale::system());
}

QString ActivityLog::timeStamp(const QDateTime &moment, const QLocale &locale)
{
    // Qt's short date-time format drops the seconds in most locales; two calls within one minute
    // must still be told apart.
    return locale.toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(moment.time(), timeWithSeconds(locale));
}

void ActivityLog::add(const QString &text)
{
    addRaw(text + timeStamp());
}

void ActivityLog::addRaw(const QString &line)
{
    m_lines.append(line);
    emit lineAdded(line);
}
