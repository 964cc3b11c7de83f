#include "timers/guide_import.h"

#include <QDate>
#include <QFileInfo>
#include <QHash>

#include <cstdlib>

#include "common/error.h"
#include "timers/box_time.h"
#include "timers/channel_settings.h"
#include "timers/text_lines.h"
#include "timers/timer_list.h"

namespace {

// The guide's channel names that differ from the names the box broadcasts.
const QHash<QString, QString> &channelTable()
{
    static const QHash<QString, QString> table = {
        {QStringLiteral("ARD"), QStringLiteral("Das Erste")},
        {QStringLiteral("Sat1"), QStringLiteral("SAT.1")},
        {QStringLiteral("Pro7"), QStringLiteral("ProSieben")},
        {QStringLiteral("MDR"), QStringLiteral("MDR FERNSEHEN")},
        {QStringLiteral("ORB"), QStringLiteral("ORB-Fernsehen")},
        {QStringLiteral("NBC"), QStringLiteral("CNBC")},
        {QStringLiteral("TV Berlin"), QStringLiteral("TV.BERLIN")},
        {QStringLiteral("MTV"), QStringLiteral("MTV Central")},
        {QStringLiteral("VIVA1"), QStringLiteral("VIVA")},
        {QStringLiteral("QVC"), QStringLiteral("QVC GERMANY")},
        {QStringLiteral("CNN"), QStringLiteral("CNN Int.")},
        {QStringLiteral("TM3"), QStringLiteral("ZDF")},
        {QStringLiteral("Eins Extra"), QStringLiteral("EinsExtra")},
        {QStringLiteral("Premiere Start"), QStringLiteral("PREMIERE START")},
        {QStringLiteral("Premiere Sport 1"), QStringLiteral("PREMIERE SPORT 1")},
        {QStringLiteral("NL 1"), QStringLiteral("NED1")},
        {QStringLiteral("ORF1"), QStringLiteral("ORF 1")},
        {QStringLiteral("WDR"), QStringLiteral("WDR FERNSEHEN")},
        {QStringLiteral("Kabel1"), QStringLiteral("KABEL1")},
        {QStringLiteral("Premiere 1"), QStringLiteral("PREMIERE 1")},
        {QStringLiteral("Premiere 2"), QStringLiteral("PREMIERE 2")},
        {QStringLiteral("Premiere 3"), QStringLiteral("PREMIERE 3")},
        {QStringLiteral("Premiere 4"), QStringLiteral("PREMIERE 4")},
        {QStringLiteral("Premiere 5"), QStringLiteral("PREMIERE 5")},
        {QStringLiteral("Premiere 6"), QStringLiteral("PREMIERE 6")},
        {QStringLiteral("Premiere 7"), QStringLiteral("PREMIERE 7")},
        {QStringLiteral("Disney Channel"), QStringLiteral("DISNEY CHANNEL")},
        {QStringLiteral("Discovery Channel"), QStringLiteral("DISCOVERY CHANNEL")},
        {QStringLiteral("Goldstar TV"), QStringLiteral("GOLDSTAR TV")},
        {QStringLiteral("Junior"), QStringLiteral("JUNIOR")},
        {QStringLiteral("Krimi & Co"), QStringLiteral("PREMIERE KRIMI")},
        {QStringLiteral("13th Street"), QStringLiteral("13 TH STREET")},
        {QStringLiteral("Beate Uhse TV"), QStringLiteral("BEATE-UHSE.TV")},
        {QStringLiteral("Planet"), QStringLiteral("PLANET")},
        {QStringLiteral("FOX Kids"), QStringLiteral("FOX KIDS")},
        {QStringLiteral("Bayern 3"), QStringLiteral("Bayerisches FS")},
        {QStringLiteral("arte"), QStringLiteral("ARTE")},
        {QStringLiteral("Nord3"), QStringLiteral("NORD3")},
        {QStringLiteral("SWR"), QStringLiteral("SWR2")},
        {QStringLiteral("Kinderkanal"), QStringLiteral("KiKa")},
        {QStringLiteral("MTV2"), QStringLiteral("MTV2 Pop Channel")},
        {QStringLiteral("VIVA2"), QStringLiteral("VIVA PLUS")},
        {QStringLiteral("BBC"), QStringLiteral("BBC WORLD")},
        {QStringLiteral("B.TV"), QStringLiteral("BTV")},
        {QStringLiteral("ORF2"), QStringLiteral("ORF 2")},
        {QStringLiteral("ZDF Theaterk."), QStringLiteral("ZDFtheaterkanal")},
        {QStringLiteral("ZDFdoku"), QStringLiteral("ZDFdokukanal")},
        {QStringLiteral("Premiere Sport 2"), QStringLiteral("PREMIERE SPORT 2")},
        {QStringLiteral("Classica"), QStringLiteral("CLASSICA")},
    };
    return table;
}

// One value line of a programme block: the tag removed where it first occurs, everything from
// the end marker on cut off, and the guide's two-TAB indentation removed.
QByteArray extractValue(QByteArray line, const QByteArray &tag, const QByteArray &endMarker)
{
    const qsizetype at = line.indexOf(tag);
    if (at >= 0)
        line.remove(at, tag.size());
    const qsizetype end = line.indexOf(endMarker);
    if (end >= 0)
        line.truncate(end);
    line.replace("\t\t", "");
    return line;
}

std::optional<QDate> parseDate(const QByteArray &text)
{
    const QList<QByteArray> parts = text.trimmed().split('-');
    if (parts.size() != 3)
        return std::nullopt;
    bool okY = false, okM = false, okD = false;
    const QDate date(parts.at(0).trimmed().toInt(&okY), parts.at(1).trimmed().toInt(&okM),
                     parts.at(2).trimmed().toInt(&okD));
    if (!okY || !okM || !okD || !date.isValid())
        return std::nullopt;
    return date;
}

// hours:minutes with optional seconds, as the guide writes the PC's time.
std::optional<int> parseTime(const QByteArray &text)
{
    const QList<QByteArray> parts = text.trimmed().split(':');
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    int values[3] = {0, 0, 0};
    const int limits[3] = {24, 60, 60};
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        values[i] = parts.at(i).trimmed().toInt(&ok);
        if (!ok || values[i] < 0 || values[i] >= limits[i])
            return std::nullopt;
    }
    return values[0] * 3600 + values[1] * 60 + values[2];
}

QString quoted(const QByteArray &bytes)
{
    return u'\'' + QString::fromLatin1(bytes) + u'\'';
}

} // namespace

QString translateGuideChannel(const QString &guideName)
{
    return channelTable().value(guideName, guideName);
}

std::optional<QString> MapGuideChannel(const QString &guideName, const ChannelSettings &settings)
{
    if (const std::optional<QString> entry = settings.findByName(translateGuideChannel(guideName)))
        return servicerefs::fromChannelEntry(*entry);
    return std::nullopt;
}

GuideImportResult importGuideData(const QByteArray &data, const ChannelSettings &settings, TimerList &list,
                                  const BoxClock &clock)
{
    const QList<QByteArray> lines = textlines::split(data);
    const auto lineAt = [&](qsizetype i) { return i < lines.size() ? lines.at(i) : QByteArray(); };
    GuideImportResult result;

    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).contains("<recProg>"))
            continue;
        const QByteArray name = extractValue(lineAt(i + 1), "<progName><![CDATA[", "]]");
        const QByteArray channel = extractValue(lineAt(i + 2), "<sender><![CDATA[", "]]");
        const QByteArray startDate = extractValue(lineAt(i + 3), "<progStartDate>", "</");
        const QByteArray startTime = extractValue(lineAt(i + 4), "<progStartTime>", "</");
        const QByteArray endDate = extractValue(lineAt(i + 5), "<progEndDate>", "</");
        const QByteArray endTime = extractValue(lineAt(i + 6), "<progEndTime>", "</");

        // A programme whose times cannot be read is left out rather than sent to the box with
        // an empty start; the others are still imported.
        const std::optional<QDate> start = parseDate(startDate);
        const std::optional<QDate> end = parseDate(endDate);
        const std::optional<int> startSecs = parseTime(startTime);
        const std::optional<int> endSecs = parseTime(endTime);
        QString problem;
        if (!start)
            problem = quoted(startDate) + QStringLiteral(" is not a valid date");
        else if (!startSecs)
            problem = quoted(startTime) + QStringLiteral(" is not a valid time");
        else if (!end)
            problem = quoted(endDate) + QStringLiteral(" is not a valid date");
        else if (!endSecs)
            problem = quoted(endTime) + QStringLiteral(" is not a valid time");
        if (!problem.isEmpty()) {
            result.skipped.append(fileTextToDisplay(QString::fromLatin1(name)) + QStringLiteral(": ") +
                                  problem);
            continue;
        }

        // Only the time of day of the difference counts; a programme of a whole day gets 0.
        const qint64 difference = start->daysTo(*end) * 86400 + *endSecs - *startSecs;
        const qint64 duration = std::llabs(difference) % 86400;

        const std::optional<QString> service = MapGuideChannel(decodeBoxText(channel), settings);
        list.appendNew(QString::fromLatin1(name), service.value_or(QString()),
                       QString::number(clock.DateTimeToEpoch(*start, *startSecs)), QString::number(duration));
        ++result.added;
    }
    return result;
}

GuideImportResult runGuideImport(const TimerFolders &folders, ChannelSettings &chooserSettings,
                                 TimerList &list, const BoxClock &clock,
                                 const std::function<void(const QString &message)> &inform)
{
    const QString guidePath = folders.guideFile();
    if (!QFileInfo::exists(guidePath))
        throw TimerNotice(
            QStringLiteral("Datei -> i_REMOTE.txt <- nicht vorhanden.\nBitte TVGenial.pdf lesen !"));
    const QByteArray data = textlines::readFile(guidePath);

    if (QFileInfo::exists(folders.settingsFile())) {
        chooserSettings = ChannelSettings::load(folders.settingsFile());
    } else if (inform) {
        inform(QStringLiteral("Datei -> BVSettins.set <- nicht vorhanden.\nBitte -Service- neu ertellen !"));
    }
    return importGuideData(data, chooserSettings, list, clock);
}
