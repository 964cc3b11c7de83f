#pragma once

// The TV-guide import: the guide program's export "i_REMOTE.txt" (an XML-like file read by
// line position, not as XML) becomes recording timers appended to a TimerList. Guide channel
// names are translated by a fixed table and looked up in the channel settings.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class BoxClock;
class ChannelSettings;
class TimerList;
struct TimerFolders;

// The guide's name translated by the fixed table (exact, case-sensitive); others unchanged.
QString translateGuideChannel(const QString &guideName);
// The service reference of the guide channel: the table's name compared with each node's text
// from character 26 on; nullopt when no node matches.
std::optional<QString> MapGuideChannel(const QString &guideName, const ChannelSettings &settings);

struct GuideImportResult
{
    int added = 0;
    // One sentence per programme that was left out (a date or time that cannot be read).
    QStringList skipped;
};

// Appends one entry per "<recProg>" block of the export's bytes. The programme name is kept as
// the file's bytes (Latin-1 held, as every timer field); the channel name is compared as text.
GuideImportResult importGuideData(const QByteArray &data, const ChannelSettings &settings, TimerList &list,
                                  const BoxClock &clock);

// The import button's whole run: checks the export file (TimerNotice "Datei -> i_REMOTE.txt <-
// nicht vorhanden." + line break + "Bitte TVGenial.pdf lesen !"), reloads the chooser's settings
// from BVSettings.set when it exists (else informs that it is missing and goes on with the
// settings as they are), then appends the programmes.
GuideImportResult runGuideImport(const TimerFolders &folders, ChannelSettings &chooserSettings,
                                 TimerList &list, const BoxClock &clock,
                                 const std::function<void(const QString &message)> &inform = {});
