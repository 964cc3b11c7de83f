#pragma once

// The channel settings cache: local copies of the box's "services" and "bouquets" files and
// the program's own BVSettings.set derived from them (the box's bouquets, each followed by its
// channel entries). A channel entry reads "sid:tsid:onid:namespace: name", for example
// "2EE3:0441:0001:00C00000: Das Erste": characters 1-15 are the channel key, 1-24 the reference
// part of a service reference, 26 onward the name. This file owns the cache folders, the
// readers of both box files, the Create Service build and the BVSettings.set format; the
// windows turn a ChannelSettings into their trees and show the messages.
//
// Text model: names are UTF-8 on the box; a line that is not valid UTF-8 is taken as Latin-1.
// BVSettings.set is written as UTF-8.

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "common/error.h"

class BoxClient;

// A stop that the window reports in a plain notice, not in the error box: a cache or guide file
// that is missing or cannot be opened, which the user puts right by fetching or placing it.
class TimerNotice final : public FileError
{
public:
    using FileError::FileError;
};

// The three data folders below the start folder, and the files in them.
struct TimerFolders
{
    explicit TimerFolders(QString startDir) : startDir(std::move(startDir)) {}

    QString settingsDir() const;  // StartDir/MorvelSettings
    QString timerDir() const;     // StartDir/Timer_epl
    QString guideDir() const;     // StartDir/TVGenial
    QString bouquetsFile() const; // MorvelSettings/bouquets
    QString servicesFile() const; // MorvelSettings/services
    QString settingsFile() const; // MorvelSettings/BVSettings.set
    QString timerFile() const;    // Timer_epl/timer.epl
    QString guideFile() const;    // TVGenial/i_REMOTE.txt

    // Creates each of the three folders that does not exist. Throws FileError.
    void ensureExist() const;

    QString startDir;
};

// Where the box keeps its channel lists.
inline constexpr char BoxBouquetsPath[] = "/var/tuxbox/config/enigma/bouquets";
inline constexpr char BoxServicesPath[] = "/var/tuxbox/config/enigma/services";

// True when the text reads as an integer (decimal or hexadecimal, as strToInt reads it).
bool IsNumber(const QString &text);
// The text without any occurrence of ch.
QByteArray StripChar(char ch, const QByteArray &text);
// Decodes one line of a box file: UTF-8 when valid, else Latin-1.
QString decodeBoxText(QByteArrayView bytes);
// The channel entry for a lookup key (first 26 characters of a bouquets channel line,
// upper-cased) and the name line that follows the matching services line. The DVB emphasis
// on/off characters (U+0086, U+0087: bytes C2 86 / C2 87 in UTF-8, 86 / 87 in an 8-bit name)
// are removed after decoding, so that other characters (C2 B0 "°", C4 86 "Ć") stay whole.
QString buildChannelEntry(QByteArrayView key, QByteArrayView nameLine);

// One bouquet of BVSettings.set: its name and its channel entries, in file order.
struct ChannelBouquet
{
    QString name;
    QStringList channels;

    friend bool operator==(const ChannelBouquet &, const ChannelBouquet &) = default;
};

// The two-level tree of BVSettings.set.
class ChannelSettings
{
public:
    QList<ChannelBouquet> bouquets;

    bool isEmpty() const { return bouquets.isEmpty(); }
    void clear() { bouquets.clear(); }

    // Every node text in tree order: each bouquet name followed by its channel entries.
    QStringList nodesInOrder() const;
    // First channel entry (tree order) whose text starts with the channel key. Bouquet names
    // are not channel entries and never match.
    std::optional<QString> findByKey(const QString &channelKey) const;
    // First channel entry whose text from character 26 on equals name exactly; nullopt for an
    // empty name.
    std::optional<QString> findByName(const QString &name) const;

    // One line per node, channel entries indented by one TAB, every line ended by CR LF.
    QByteArray toFileData() const;
    // Each leading TAB or blank counts as one level and is removed. Levels beyond the second,
    // and an indented line before any bouquet, are taken as the nearest level that exists.
    static ChannelSettings fromFileData(const QByteArray &data);

    // Throws FileError when the file cannot be read.
    static ChannelSettings load(const QString &path);
    // Through a temporary file; the old file is replaced only by a whole new one.
    void save(const QString &path) const;

    friend bool operator==(const ChannelSettings &, const ChannelSettings &) = default;
};

// The cached services file, indexed once for many lookups. A key matches the first services
// line whose first 26 characters, upper-cased, contain it; the line after it is the name.
class ServiceIndex
{
public:
    explicit ServiceIndex(const QByteArray &servicesData);
    // Lines and keys are views into buffers of its own.
    Q_DISABLE_COPY_MOVE(ServiceIndex)

    // Precomputes the answers for these keys in one pass over the file (optional; lookups of
    // other keys fall back to a scan of their own).
    void prepare(const QList<QByteArrayView> &keys);
    void prepare(const QList<QByteArray> &keys);
    // LookupServiceName: the channel entry, or nullopt when no line matches.
    std::optional<QString> LookupServiceName(QByteArrayView key) const;
    // LookupServiceName of every key, in order, with one pass over the file for all of them.
    QList<std::optional<QString>> lookupAll(const QList<QByteArrayView> &keys);

private:
    static constexpr int HeadLength = 26;

    // The first 26 bytes of a line, upper-cased into buffer.
    QByteArrayView head(qsizetype line, char (&buffer)[HeadLength]) const;
    qsizetype scan(QByteArrayView key) const;
    std::optional<QString> entryAt(qsizetype line, QByteArrayView key) const;
    // prepare(), answering for each key its slot in m_slotLines (-1: a key that is never found
    // by a prepared lookup, being empty or longer than a line head).
    std::vector<qsizetype> prepareSlots(const QList<QByteArrayView> &keys);

    QByteArray m_data;
    QList<QByteArrayView> m_lines; // the file's lines without line ends, into m_data
    std::deque<QByteArray> m_keys; // storage of the prepared keys, one block per prepare()
    // A key as the hash's key type. The keys are at most 26 bytes and looked up many times per
    // line, where a general-purpose hash costs more than the rest of the search; this one mixes
    // eight bytes per step.
    struct Key
    {
        QByteArrayView bytes;
        friend bool operator==(Key a, Key b) noexcept { return a.bytes == b.bytes; }
        static size_t hash(QByteArrayView bytes, size_t seed) noexcept;
        friend size_t qHash(Key key, size_t seed) noexcept { return hash(key.bytes, seed); }
    };
    QHash<Key, qsizetype> m_slots;      // prepared key -> its slot
    std::vector<qsizetype> m_slotLines; // slot -> matching line, -1 none
};

struct BouquetsReadResult
{
    ChannelSettings settings;
    int channelLines = 0;    // lines that contain ':' (the progress maximum)
    QStringList missingKeys; // channel keys not in the services file; they are left out
};
using CreateProgress = std::function<void(int position, int maximum)>;
// Reads a bouquets file into the tree: a line that reads as a number starts a bouquet, the next
// line is its name, then at most 1001 channel lines up to "/" (the end of the file also ends
// it); each channel is looked up in the services index.
BouquetsReadResult readBouquets(const QByteArray &bouquetsData, ServiceIndex &services,
                                const CreateProgress &progress = {});

// The timer window's "Create Service".
class CreateService
{
public:
    // Information the window shows in a box and then goes on.
    using InformFunction = std::function<void(const QString &message)>;

    CreateService(TimerFolders folders, BoxClient &box);

    void setProgress(CreateProgress progress) { m_progress = std::move(progress); }
    void setInform(InformFunction inform) { m_inform = std::move(inform); }

    // Downloads the two box files when either cache file is missing (informing first), builds
    // the tree and writes BVSettings.set. Throws TimerNotice with the user's message when a cache
    // file is still missing or cannot be opened, and the box client's TransferError when the
    // download fails; BVSettings.set is then left as it was.
    BouquetsReadResult run();

private:
    TimerFolders m_folders;
    BoxClient &m_box;
    CreateProgress m_progress;
    InformFunction m_inform;
};
