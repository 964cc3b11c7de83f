#pragma once

// The program's activity log: one list of lines in memory, "++ Log ++" first, that the log
// window shows. It is never written to a file and never trimmed. Writers live on the
// user-interface thread.

#include <QObject>
#include <QStringList>

class QDateTime;
class QLocale;

class ActivityLog final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActivityLog)

public:
    explicit ActivityLog(QObject *parent = nullptr);

    // Appends text followed by the current date and time in the system's short format.
    void add(const QString &text);
    // Appends the line exactly as given.
    void addRaw(const QString &line);

    const QStringList &lines() const { return m_lines; }
    // The date and time suffix used by add(), for the current moment.
    static QString timeStamp();
    // The same for a given moment and locale: the locale's short date and its time with
    // seconds (without a time-zone name).
    static QString timeStamp(const QDateTime &moment, const QLocale &locale);

signals:
    void lineAdded(const QString &line);

private:
    QStringList m_lines;
};
