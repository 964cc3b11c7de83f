#pragma once

// The box's recording and switching timers: one TimerEntry per timer, held as the texts that
// are written to the box's "timer.epl", and the ordered TimerList that the timer window shows
// as its grid and that the guide import, the mail commands and the planner extend. This file
// also owns the timer.epl codec, the timer types and the service reference rules. It does not
// own the time conversions (box_time.h) nor the channel settings (channel_settings.h).
//
// Text model: timer.epl is 8-bit text without a declared encoding. Every field is a QString
// holding the file's bytes one to one (Latin-1 decoding), so reading and writing hands every
// byte back untouched. fileTextToDisplay()/displayTextToFile() convert for showing and editing.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct TimerEntry
{
    // Grid columns; other parts address the fields by these indexes.
    enum Column
    {
        ColNumber = 0,
        ColDescription = 1,
        ColService = 2,
        ColEventId = 3,
        ColType = 4,
        ColTimeBegin = 5,
        ColDuration = 6,
    };
    static constexpr int ColumnCount = 7;

    QString number; // 1-based position when the entry was added; not written to the file
    QString description;
    QString service;
    QString eventId;
    QString type;
    QString timeBegin;
    QString duration;
    // What stands between "#DESCRIPTION: " and the description on the file's line. The
    // program's own entries use "/"; a box-made timer carries its channel name before the
    // slash ("Das Erste/"), which is kept so that writing the list back loses nothing.
    QString descriptionLead = QStringLiteral("/");

    QString cell(int column) const;
    void setCell(int column, const QString &text);

    friend bool operator==(const TimerEntry &, const TimerEntry &) = default;
};

// The timer types the program knows, and the editor's mode list.
namespace timertypes {
inline const QString Recording = QStringLiteral("44");
inline const QString Switch = QStringLiteral("34");
inline const QString Ngrab = QStringLiteral("131108");
inline const QString Finished = QStringLiteral("268");

// "???", "Aufnahme", "Umschalten", "Ngrab", "Fertig", in this order.
QStringList modeNames();
// The mode shown for a TYPE text: "Aufnahme" for 44 ... "???" for anything else.
QString modeForType(const QString &type);
// The TYPE written when the user picks a mode ("???" writes 34); nullopt for an unknown mode
// (for example the editor's "select ..." text), which leaves TYPE unchanged.
std::optional<QString> typeForMode(const QString &mode);
} // namespace timertypes

// Service references: "1:0:1:" + sid:tsid:onid:namespace: + "0:0:0:".
namespace servicerefs {
// The reference of a new entry, written literally in lower case.
inline const QString DefaultReference = QStringLiteral("1:0:1:2ee3:0441:0001:c00000:0:0:0:");
// "1:0:1:" + the first 24 characters of a channel entry + "0:0:0:".
QString fromChannelEntry(const QString &channelEntry);
// The 15-character channel key of a reference: fields 4 to 6, each left-padded with '0' to four
// characters, upper-cased, each followed by ':' (2EE3:0441:0001:).
QString channelKey(const QString &reference);
// The editor's OK rule: everything after the 3rd colon up to and including the 7th is replaced
// by referencePart (24 characters of a channel entry). With fewer than seven colons nothing is
// removed and the part is inserted after the 3rd colon, or at the start with fewer than three.
QString replaceReferencePart(const QString &reference, const QString &referencePart);
} // namespace servicerefs

// Latin-1 held bytes -> text to show (UTF-8 when the bytes are valid UTF-8, else unchanged).
QString fileTextToDisplay(const QString &fileText);
// Edited text -> Latin-1 held bytes (UTF-8 encoded), the inverse of fileTextToDisplay for
// UTF-8 texts. Pure ASCII texts come back unchanged.
QString displayTextToFile(const QString &displayText);

class TimerList
{
public:
    // The header row's texts, column 0 first: "", "Beschreibung", "SERVICE", "EVENT ID ",
    // "TYPE", "Startzeit", "Länge".
    static QStringList headerTexts();

    // Data rows only; grid row r (r >= 1) is entries()[r - 1].
    const QList<TimerEntry> &entries() const { return m_entries; }
    QList<TimerEntry> &entries() { return m_entries; }
    int size() const { return static_cast<int>(m_entries.size()); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    void clear() { m_entries.clear(); }

    // The grid row a newly appended entry gets (size() + 1); also its number and, for entries
    // the program creates, its EVENT_ID.
    int nextRowNumber() const { return size() + 1; }
    // Appends as is (the caller sets number and fields).
    void append(const TimerEntry &entry) { m_entries.append(entry); }
    // A new entry as the program creates it: number and EVENT_ID = nextRowNumber(), TYPE 44,
    // the given fields. Returns a reference to the appended entry.
    TimerEntry &appendNew(const QString &description, const QString &service, const QString &timeBegin,
                          const QString &duration);
    // Removes grid row `row` (1-based); later rows move up and keep their numbers.
    void removeRow(int row);

    // The timer.epl codec. Reading never fails on content: each line that starts with
    // "#SERVICE:" begins an entry; its keyed lines up to the next "#SERVICE:" line fill the
    // fields, a missing key gives the default ("???" for the description, "0" otherwise);
    // other lines are ignored. The entries are appended with their row numbers.
    void appendFromFileData(const QByteArray &data);
    // "#NAME Timerlist" and six lines per entry, every line ended by CR LF. A line feed inside a
    // field is written as a blank, so that no field can break the file's line structure.
    QByteArray toFileData() const;

    // Replaces the list by the file's entries. Throws FileError when it cannot be read.
    void load(const QString &path);
    // Writes the file through a temporary file, so the old file is replaced only by a whole
    // new one. Throws FileError.
    void save(const QString &path) const;

private:
    QList<TimerEntry> m_entries;
};
