#include "timers/channel_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>

#include "app/box_client.h"
#include "common/error.h"
#include "timers/text_lines.h"

namespace {

constexpr int KeyLength = 26;
// A bouquet ends at "/" or after this many channel lines.
constexpr int MaxChannelsPerBouquet = 1001;

const QString MissingSettingsMessage =
    QStringLiteral("Es sind keine Settings im Verzeichnis -MorvelSettings- vorhanden !\nDie Settigs werden "
                   "nun von der DB geladen !");

} // namespace

QString TimerFolders::settingsDir() const
{
    return startDir + QStringLiteral("/MorvelSettings");
}
QString TimerFolders::timerDir() const
{
    return startDir + QStringLiteral("/Timer_epl");
}
QString TimerFolders::guideDir() const
{
    return startDir + QStringLiteral("/TVGenial");
}
QString TimerFolders::bouquetsFile() const
{
    return settingsDir() + QStringLiteral("/bouquets");
}
QString TimerFolders::servicesFile() const
{
    return settingsDir() + QStringLiteral("/services");
}
QString TimerFolders::settingsFile() const
{
    return settingsDir() + QStringLiteral("/BVSettings.set");
}
QString TimerFolders::timerFile() const
{
    return timerDir() + QStringLiteral("/timer.epl");
}
QString TimerFolders::guideFile() const
{
    return guideDir() + QStringLiteral("/i_REMOTE.txt");
}

void TimerFolders::ensureExist() const
{
    for (const QString &dir : {settingsDir(), timerDir(), guideDir()}) {
        if (!QDir().mkpath(dir))
            throw FileError(QStringLiteral("Das Verzeichnis %1 kann nicht angelegt werden.").arg(dir));
    }
}

bool IsNumber(const QString &text)
{
    // No exception per line: the bouquets reader asks this for every line of the file.
    return tryStrToInt(text).has_value();
}

QByteArray StripChar(char ch, const QByteArray &text)
{
    QByteArray out = text;
    out.replace(QByteArrayView(&ch, 1), QByteArrayView());
    return out;
}

namespace {

// Strict UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    const uchar *const end = p + bytes.size();
    while (p < end) {
        const uchar c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int more = 0;
        uchar low = 0x80, high = 0xBF; // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0)
                low = 0xA0;
            else if (c == 0xED)
                high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0)
                low = 0x90;
            else if (c == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (end - p <= more || p[1] < low || p[1] > high)
            return false;
        for (int k = 2; k <= more; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                return false;
        }
        p += more + 1;
    }
    return true;
}

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<uchar>(c) < 0x80; });
}

} // namespace

QString decodeBoxText(QByteArrayView bytes)
{
    return isValidUtf8(bytes) ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

QString buildChannelEntry(QByteArrayView key, QByteArrayView nameLine)
{
    const auto part = [&key](qsizetype from, qsizetype length) {
        return from < key.size() ? key.sliced(from, std::min(length, key.size() - from)) : QByteArrayView();
    };
    // sid: tsid: onid: namespace: — the order of a service reference, not of the box's files.
    const QByteArrayView parts[] = {part(0, 5), part(14, 5), part(19, 5), part(5, 9)};
    QString text;
    if (isAscii(key)) {
        // The usual case: only the name can hold other characters, so it alone is decoded, and
        // the entry is made in one allocation.
        const bool asciiName = isAscii(nameLine);
        const QString name = asciiName ? QString() : decodeBoxText(nameLine);
        qsizetype size = 1 + (asciiName ? nameLine.size() : name.size());
        for (const QByteArrayView p : parts)
            size += p.size();
        text.resize(size);
        QChar *out = text.data();
        for (const QByteArrayView p : parts) {
            for (const char c : p)
                *out++ = QLatin1Char(c);
        }
        *out++ = u' ';
        if (asciiName) {
            for (const char c : nameLine)
                *out++ = QLatin1Char(c);
            return text;
        }
        std::copy(name.cbegin(), name.cend(), out);
    } else {
        QByteArray entry;
        for (const QByteArrayView p : parts)
            entry.append(p);
        entry.append(' ').append(nameLine);
        text = decodeBoxText(entry);
    }
    text.removeIf([](QChar c) { return c.unicode() == 0x86 || c.unicode() == 0x87; });
    return text;
}

// --- ChannelSettings -------------------------------------------------------------------------

QStringList ChannelSettings::nodesInOrder() const
{
    QStringList nodes;
    for (const ChannelBouquet &b : bouquets) {
        nodes.append(b.name);
        nodes.append(b.channels);
    }
    return nodes;
}

std::optional<QString> ChannelSettings::findByKey(const QString &channelKey) const
{
    if (channelKey.isEmpty())
        return std::nullopt;
    for (const ChannelBouquet &b : bouquets) {
        for (const QString &channel : b.channels) {
            if (channel.startsWith(channelKey))
                return channel;
        }
    }
    return std::nullopt;
}

std::optional<QString> ChannelSettings::findByName(const QString &name) const
{
    if (name.isEmpty())
        return std::nullopt;
    for (const ChannelBouquet &b : bouquets) {
        for (const QString &channel : b.channels) {
            if (QStringView(channel).mid(std::min<qsizetype>(25, channel.size())) == name)
                return channel;
        }
    }
    return std::nullopt;
}

QByteArray ChannelSettings::toFileData() const
{
    // Sized once: a long list would otherwise be copied over and over while it grows.
    qsizetype size = 0;
    for (const ChannelBouquet &b : bouquets) {
        size += b.name.size() + 2;
        for (const QString &channel : b.channels)
            size += channel.size() + 3;
    }
    QString text;
    text.reserve(size);
    for (const ChannelBouquet &b : bouquets) {
        text += b.name;
        text += u"\r\n";
        for (const QString &channel : b.channels) {
            text += u'\t';
            text += channel;
            text += u"\r\n";
        }
    }
    return text.toUtf8();
}

ChannelSettings ChannelSettings::fromFileData(const QByteArray &data)
{
    ChannelSettings settings;
    for (const QByteArray &line : textlines::split(data)) {
        qsizetype level = 0;
        while (level < line.size() && (line.at(level) == '\t' || line.at(level) == ' '))
            ++level;
        const QString text = decodeBoxText(line.mid(level));
        if (level == 0 || settings.bouquets.isEmpty())
            settings.bouquets.append(ChannelBouquet{text, {}});
        else
            settings.bouquets.last().channels.append(text);
    }
    return settings;
}

ChannelSettings ChannelSettings::load(const QString &path)
{
    return fromFileData(textlines::readFile(path));
}

void ChannelSettings::save(const QString &path) const
{
    QSaveFile file(path);
    const QByteArray data = toFileData();
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw FileError(
            QStringLiteral("Die Datei %1 kann nicht geschrieben werden: %2").arg(path, file.errorString()));
}

// --- ServiceIndex ----------------------------------------------------------------------------

ServiceIndex::ServiceIndex(const QByteArray &servicesData)
    : m_data(servicesData), m_lines(textlines::splitViews(m_data))
{
}

QByteArrayView ServiceIndex::head(qsizetype line, char (&buffer)[HeadLength]) const
{
    const QByteArrayView text = m_lines.at(line);
    const qsizetype n = std::min<qsizetype>(text.size(), HeadLength);
    for (qsizetype k = 0; k < n; ++k) {
        const char c = text[k];
        buffer[k] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return QByteArrayView(buffer, n);
}

size_t ServiceIndex::Key::hash(QByteArrayView bytes, size_t seed) noexcept
{
    const char *p = bytes.data();
    qsizetype n = bytes.size();
    quint64 h = 0x9e3779b97f4a7c15ULL ^ static_cast<quint64>(seed) ^ static_cast<quint64>(n);
    const auto mix = [&h](quint64 word) {
        h = (h ^ word) * 0xff51afd7ed558ccdULL;
        h ^= h >> 32;
    };
    for (; n >= 8; n -= 8, p += 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        mix(word);
    }
    if (n > 0) {
        quint64 word = 0;
        std::memcpy(&word, p, static_cast<size_t>(n));
        mix(word);
    }
    return static_cast<size_t>(h);
}

void ServiceIndex::prepare(const QList<QByteArray> &keys)
{
    QList<QByteArrayView> views;
    views.reserve(keys.size());
    for (const QByteArray &key : keys)
        views.append(key);
    prepareSlots(views);
}

void ServiceIndex::prepare(const QList<QByteArrayView> &keys)
{
    prepareSlots(keys);
}

std::vector<qsizetype> ServiceIndex::prepareSlots(const QList<QByteArrayView> &keys)
{
    // A key matches a line when it occurs anywhere in the line's head, so every substring of a
    // head that has the length of some key is looked up; scanning the lines in order and
    // keeping the first hit gives the same answers as searching the file once per key.
    qsizetype total = 0;
    for (const QByteArrayView key : keys)
        total += key.size();
    QByteArray &store = m_keys.emplace_back();
    store.reserve(total); // the views below point into it, so it must not grow past this
    m_slots.reserve(m_slots.size() + keys.size());

    std::vector<qsizetype> slotOf(static_cast<size_t>(keys.size()), -1);
    bool lengthUsed[HeadLength + 1] = {};
    qsizetype open = 0;
    for (qsizetype k = 0; k < keys.size(); ++k) {
        const QByteArrayView key = keys.at(k);
        if (key.isEmpty() || key.size() > HeadLength)
            continue;
        // One probe of the hash for new and known keys alike: the key is stored first and taken
        // back when the hash already knew it (the store's capacity was reserved, so taking back
        // moves nothing that a view points to).
        const qsizetype at = store.size();
        store.append(key);
        const qsizetype known = m_slots.size();
        qsizetype &slot = m_slots[Key{QByteArrayView(store.constData() + at, key.size())}];
        if (m_slots.size() == known) {
            store.truncate(at);
            slotOf[static_cast<size_t>(k)] = slot;
            continue;
        }
        slot = static_cast<qsizetype>(m_slotLines.size());
        m_slotLines.push_back(-1);
        slotOf[static_cast<size_t>(k)] = slot;
        lengthUsed[key.size()] = true;
        ++open;
    }
    std::vector<qsizetype> lengths;
    for (qsizetype len = 1; len <= HeadLength; ++len) {
        if (lengthUsed[len])
            lengths.push_back(len);
    }
    // Most substrings begin like no key at all; a bitmap over the keys' first four bytes turns
    // those away before the (much dearer) hash lookup. Four, because the keys of one list share
    // their first two bytes ("00" of the service id) far more often than their first four.
    constexpr int StartBits = 20;
    std::vector<bool> starts(size_t{1} << StartBits);
    const auto startOf = [](QByteArrayView v) {
        quint32 word = 0;
        std::memcpy(&word, v.data(), static_cast<size_t>(std::min<qsizetype>(v.size(), 4)));
        return static_cast<size_t>((word * 0x9e3779b1U) >> (32 - StartBits));
    };
    for (auto it = m_slots.cbegin(); it != m_slots.cend(); ++it) {
        if (m_slotLines[static_cast<size_t>(it.value())] < 0)
            starts[startOf(it.key().bytes)] = true;
    }
    for (qsizetype i = 0; i < m_lines.size() && open > 0; ++i) {
        char buffer[HeadLength];
        const QByteArrayView h = head(i, buffer);
        for (const qsizetype len : lengths) {
            for (qsizetype at = 0; at + len <= h.size(); ++at) {
                const QByteArrayView candidate = h.sliced(at, len);
                if (!starts[startOf(candidate)])
                    continue;
                const auto hit = m_slots.constFind(Key{candidate});
                if (hit == m_slots.cend())
                    continue;
                qsizetype &line = m_slotLines[static_cast<size_t>(hit.value())];
                if (line < 0) {
                    line = i;
                    --open;
                }
            }
        }
    }
    return slotOf;
}

std::optional<QString> ServiceIndex::LookupServiceName(QByteArrayView key) const
{
    if (key.isEmpty())
        return std::nullopt;
    const auto hit = m_slots.constFind(Key{key});
    return entryAt(hit == m_slots.constEnd() ? scan(key) : m_slotLines[static_cast<size_t>(hit.value())],
                   key);
}

QList<std::optional<QString>> ServiceIndex::lookupAll(const QList<QByteArrayView> &keys)
{
    const std::vector<qsizetype> slotOf = prepareSlots(keys);
    QList<std::optional<QString>> entries;
    entries.reserve(keys.size());
    for (qsizetype k = 0; k < keys.size(); ++k) {
        const qsizetype slot = slotOf[static_cast<size_t>(k)];
        entries.append(slot < 0 ? LookupServiceName(keys.at(k))
                                : entryAt(m_slotLines[static_cast<size_t>(slot)], keys.at(k)));
    }
    return entries;
}

qsizetype ServiceIndex::scan(QByteArrayView key) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        char buffer[HeadLength];
        if (head(i, buffer).indexOf(key) >= 0)
            return i;
    }
    return -1;
}

std::optional<QString> ServiceIndex::entryAt(qsizetype line, QByteArrayView key) const
{
    if (line < 0)
        return std::nullopt;
    const qsizetype name = line + 1;
    return buildChannelEntry(key, name < m_lines.size() ? m_lines.at(name) : QByteArrayView());
}

// --- Bouquets --------------------------------------------------------------------------------

BouquetsReadResult readBouquets(const QByteArray &bouquetsData, ServiceIndex &services,
                                const CreateProgress &progress)
{
    const QList<QByteArrayView> lines = textlines::splitViews(bouquetsData);
    // The keys are the upper-cased line starts; one upper-cased copy of the file holds them all.
    const QByteArray upper = textlines::asciiUpper(bouquetsData);
    const auto keyOf = [&](QByteArrayView line) {
        return QByteArrayView(upper.constData() + (line.data() - bouquetsData.constData()),
                              std::min<qsizetype>(line.size(), KeyLength));
    };

    BouquetsReadResult result;
    for (const QByteArrayView line : lines) {
        if (line.contains(':'))
            ++result.channelLines;
    }
    if (progress)
        progress(0, result.channelLines);

    // First the file's structure, then all channels looked up in one pass over the services.
    QList<QByteArrayView> keys;
    QList<qsizetype> keyBouquet;
    qsizetype i = 0;
    while (i < lines.size()) {
        const QByteArrayView line = lines.at(i++);
        // A colon never belongs to a number; checking it first keeps channel lines cheap.
        if (line.contains(':') || !IsNumber(QString::fromLatin1(line)))
            continue;
        result.settings.bouquets.append(
            ChannelBouquet{decodeBoxText(i < lines.size() ? lines.at(i++) : QByteArrayView()), {}});
        for (int n = 0; n < MaxChannelsPerBouquet && i < lines.size(); ++n) {
            const QByteArrayView channel = lines.at(i++);
            if (channel == "/")
                break;
            keys.append(keyOf(channel));
            keyBouquet.append(result.settings.bouquets.size() - 1);
        }
    }
    const QList<std::optional<QString>> entries = services.lookupAll(keys);

    for (qsizetype k = 0; k < keys.size(); ++k) {
        if (const std::optional<QString> &entry = entries.at(k))
            result.settings.bouquets[keyBouquet.at(k)].channels.append(*entry);
        else
            result.missingKeys.append(decodeBoxText(keys.at(k)));
        if (progress)
            progress(static_cast<int>(k + 1), result.channelLines);
    }
    if (progress)
        progress(0, result.channelLines);
    return result;
}

// --- CreateService ---------------------------------------------------------------------------

CreateService::CreateService(TimerFolders folders, BoxClient &box) : m_folders(std::move(folders)), m_box(box)
{
}

BouquetsReadResult CreateService::run()
{
    const QString bouquetsPath = m_folders.bouquetsFile();
    const QString servicesPath = m_folders.servicesFile();

    if (!QFileInfo::exists(bouquetsPath) || !QFileInfo::exists(servicesPath)) {
        if (m_inform)
            m_inform(MissingSettingsMessage);
        m_folders.ensureExist();
        std::unique_ptr<FtpSession> session = m_box.ftpConnect();
        session->retrieve(QString::fromLatin1(BoxBouquetsPath), bouquetsPath);
        session->retrieve(QString::fromLatin1(BoxServicesPath), servicesPath);
        session->abort();
        session->quit();
    }

    const QString secondLine = QStringLiteral("\nDie gibt unter SETTINGS bei Morvel ;-)");
    if (!QFileInfo::exists(servicesPath))
        throw TimerNotice(QStringLiteral("Datei -> services <- ist nicht vorhanden ...") + secondLine);
    if (!QFileInfo::exists(bouquetsPath))
        throw TimerNotice(QStringLiteral("Datei -> bouquets <- ist nicht vorhanden ...") + secondLine);

    // A file that cannot be opened is a notice; one that is too large stays an error.
    const auto readCacheFile = [](const QString &path, const QString &notice) {
        try {
            return textlines::readFile(path, notice);
        } catch (const FileError &e) {
            if (e.message() == notice)
                throw TimerNotice(notice);
            throw;
        }
    };
    const QByteArray bouquets = readCacheFile(bouquetsPath, QStringLiteral("Fehler ... Bouqets"));
    // Read once for the whole run; a file that cannot be read stops the build instead of
    // leaving every channel empty.
    ServiceIndex services(readCacheFile(servicesPath, QStringLiteral("Fehler ... service")));

    BouquetsReadResult result = readBouquets(bouquets, services, m_progress);
    result.settings.save(m_folders.settingsFile());
    return result;
}
