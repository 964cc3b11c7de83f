#include "common/activity_log.h"

#include <QDateTime>
#include <QLocale>

ActivityLog::ActivityLog(QObject *parent) : QObject(parent)
{
    m_lines.append(QStringLiteral("++ Log ++"));
}

QString ActivityLog::timeStamp()
{
    return QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
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
