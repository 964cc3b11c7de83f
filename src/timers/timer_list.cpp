#include "timers/timer_list.h"

#include <QSaveFile>
#include <QStringDecoder>

#include "common/error.h"
#include "timers/text_lines.h"

namespace {

const QByteArray ServiceKey = QByteArrayLiteral("#SERVICE:");
const QByteArray DescriptionKey = QByteArrayLiteral("#DESCRIPTION:");
const QByteArray EventIdKey = QByteArrayLiteral("#EVENT_ID");
const QByteArray TypeKey = QByteArrayLiteral("#TYPE");
const QByteArray TimeBeginKey = QByteArrayLiteral("#TIME_BEGIN");
const QByteArray DurationKey = QByteArrayLiteral("#DURATION");

// The value after a key that ends in one blank on the box's lines ("#TYPE 44"); a key read
// without its blank gives the rest as it stands.
QString valueAfter(QByteArrayView line, const QByteArray &key)
{
    QByteArrayView rest = line.sliced(key.size());
    if (rest.startsWith(' '))
        rest = rest.sliced(1);
    return QString::fromLatin1(rest);
}

// A field is one line of the file: a line feed inside it (from a mail, a pasted text) would end
// the line early and could start a record of its own, so it is written as a blank.
void appendField(QByteArray &out, const QString &field)
{
    const qsizetype at = out.size();
    out += field.toLatin1();
    for (qsizetype i = at; i < out.size(); ++i) {
        if (out.at(i) == '\n')
            out[i] = ' ';
    }
}

} // namespace

QString TimerEntry::cell(int column) const
{
    switch (column) {
    case ColNumber:
        return number;
    case ColDescription:
        return description;
    case ColService:
        return service;
    case ColEventId:
        return eventId;
    case ColType:
        return type;
    case ColTimeBegin:
        return timeBegin;
    case ColDuration:
        return duration;
    default:
        return {};
    }
}

void TimerEntry::setCell(int column, const QString &text)
{
    switch (column) {
    case ColNumber:
        number = text;
        break;
    case ColDescription:
        description = text;
        break;
    case ColService:
        service = text;
        break;
    case ColEventId:
        eventId = text;
        break;
    case ColType:
        type = text;
        break;
    case ColTimeBegin:
        timeBegin = text;
        break;
    case ColDuration:
        duration = text;
        break;
    default:
        break;
    }
}

namespace timertypes {

QStringList modeNames()
{
    return {QStringLiteral("???"), QStringLiteral("Aufnahme"), QStringLiteral("Umschalten"),
            QStringLiteral("Ngrab"), QStringLiteral("Fertig")};
}

QString modeForType(const QString &type)
{
    if (type == Recording)
        return QStringLiteral("Aufnahme");
    if (type == Switch)
        return QStringLiteral("Umschalten");
    if (type == Ngrab)
        return QStringLiteral("Ngrab");
    if (type == Finished)
        return QStringLiteral("Fertig");
    return QStringLiteral("???");
}

std::optional<QString> typeForMode(const QString &mode)
{
    if (mode == u"Aufnahme")
        return Recording;
    if (mode == u"Umschalten" || mode == u"???")
        return Switch;
    if (mode == u"Ngrab")
        return Ngrab;
    if (mode == u"Fertig")
        return Finished;
    return std::nullopt;
}

} // namespace timertypes

namespace servicerefs {

QString fromChannelEntry(const QString &channelEntry)
{
    return QStringLiteral("1:0:1:") + channelEntry.left(24) + QStringLiteral("0:0:0:");
}

QString channelKey(const QString &reference)
{
    // Fields are colon-terminated; the 4th to 6th are service id, transport stream id and
    // original network id.
    const QStringList fields = reference.split(u':');
    QString key;
    for (int i = 3; i < 6; ++i) {
        const QString field = i < fields.size() ? fields.at(i) : QString();
        key += field.rightJustified(4, u'0') + u':';
    }
    return key.toUpper();
}

QString replaceReferencePart(const QString &reference, const QString &referencePart)
{
    QList<qsizetype> colons;
    for (qsizetype i = 0; i < reference.size() && colons.size() < 7; ++i) {
        if (reference.at(i) == u':')
            colons.append(i);
    }
    QString result = reference;
    if (colons.size() >= 7) {
        result.remove(colons.at(2) + 1, colons.at(6) - colons.at(2));
        result.insert(colons.at(2) + 1, referencePart);
    } else if (colons.size() >= 3) {
        result.insert(colons.at(2) + 1, referencePart);
    } else {
        result.insert(0, referencePart);
    }
    return result;
}

} // namespace servicerefs

QString fileTextToDisplay(const QString &fileText)
{
    const QByteArray bytes = fileText.toLatin1();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return fileText;
    return text;
}

QString displayTextToFile(const QString &displayText)
{
    return QString::fromLatin1(displayText.toUtf8());
}

QStringList TimerList::headerTexts()
{
    return {QString(),
            QStringLiteral("Beschreibung"),
            QStringLiteral("SERVICE"),
            QStringLiteral("EVENT ID "),
            QStringLiteral("TYPE"),
            QStringLiteral("Startzeit"),
            QStringLiteral("Länge")};
}

TimerEntry &TimerList::appendNew(const QString &description, const QString &service, const QString &timeBegin,
                                 const QString &duration)
{
    TimerEntry entry;
    entry.number = QString::number(nextRowNumber());
    entry.eventId = entry.number;
    entry.description = description;
    entry.service = service;
    entry.type = timertypes::Recording;
    entry.timeBegin = timeBegin;
    entry.duration = duration;
    m_entries.append(entry);
    return m_entries.last();
}

void TimerList::removeRow(int row)
{
    if (row >= 1 && row <= size())
        m_entries.removeAt(row - 1);
}

void TimerList::appendFromFileData(const QByteArray &data)
{
    const QList<QByteArrayView> lines = textlines::splitViews(data);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArrayView line = lines.at(i);
        if (!line.startsWith(ServiceKey))
            continue;
        TimerEntry entry;
        entry.number = QString::number(nextRowNumber());
        entry.service = valueAfter(line, ServiceKey);
        entry.description = QStringLiteral("???");
        entry.descriptionLead = QStringLiteral("/");
        entry.eventId = entry.type = entry.timeBegin = entry.duration = QStringLiteral("0");
        bool seenDescription = false, seenEventId = false, seenType = false, seenBegin = false,
             seenDuration = false;

        // The record's keyed lines up to the next entry; the first of each key counts. The box
        // leaves out lines it has no value for, so the keys are looked up rather than counted.
        for (qsizetype j = i + 1; j < lines.size() && !lines.at(j).startsWith(ServiceKey); ++j) {
            const QByteArrayView l = lines.at(j);
            if (!seenDescription && l.startsWith(DescriptionKey)) {
                seenDescription = true;
                const QString text = valueAfter(l, DescriptionKey);
                // The box writes "<channel>/<title>"; the title is the description shown, the
                // channel part is kept for writing back. A line without a slash is all title.
                const qsizetype slash = text.indexOf(u'/');
                entry.descriptionLead = slash >= 0 ? text.left(slash + 1) : QString();
                entry.description = slash >= 0 ? text.mid(slash + 1) : text;
            } else if (!seenEventId && l.startsWith(EventIdKey)) {
                seenEventId = true;
                entry.eventId = valueAfter(l, EventIdKey);
            } else if (!seenType && l.startsWith(TypeKey)) {
                seenType = true;
                entry.type = valueAfter(l, TypeKey);
            } else if (!seenBegin && l.startsWith(TimeBeginKey)) {
                seenBegin = true;
                entry.timeBegin = valueAfter(l, TimeBeginKey);
            } else if (!seenDuration && l.startsWith(DurationKey)) {
                seenDuration = true;
                entry.duration = valueAfter(l, DurationKey);
            }
        }
        m_entries.append(entry);
    }
}

QByteArray TimerList::toFileData() const
{
    QByteArray out;
    out.reserve(32 + m_entries.size() * 160);
    out += "#NAME Timerlist\r\n";
    for (const TimerEntry &e : m_entries) {
        out += "#SERVICE: ";
        appendField(out, e.service);
        out += "\r\n#DESCRIPTION: ";
        appendField(out, e.descriptionLead);
        appendField(out, e.description);
        out += "\r\n#EVENT_ID ";
        appendField(out, e.eventId);
        out += "\r\n#TYPE ";
        appendField(out, e.type);
        out += "\r\n#TIME_BEGIN ";
        appendField(out, e.timeBegin);
        out += "\r\n#DURATION ";
        appendField(out, e.duration);
        out += "\r\n";
    }
    return out;
}

void TimerList::load(const QString &path)
{
    const QByteArray data = textlines::readFile(path);
    m_entries.clear();
    appendFromFileData(data);
}

void TimerList::save(const QString &path) const
{
    QSaveFile file(path);
    const QByteArray data = toFileData();
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw FileError(
            QStringLiteral("Die Datei %1 kann nicht geschrieben werden: %2").arg(path, file.errorString()));
}
