#include "timers/channel_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

#include "app/box_client.h"
#include "common/error.h"
#include "timers/text_lines.h"

namespace {

constexpr int KeyLength = 26;
// A bouquet ends at "/" or after this many channel lines.
constexpr int MaxChannelsPerBouquet = 1001;

const QString MissingSettingsMessage = QStringLiteral(
    "Es sind keine Settings im Verzeichnis -MorvelSettings- vorhanden !\nDie Settigs werden nun von der DB geladen !");

} // namespace

QString TimerFolders::settingsDir() const { return startDir + QStringLiteral("/MorvelSettings"); }
QString TimerFolders::timerDir() const { return startDir + QStringLiteral("/Timer_epl"); }
QString TimerFolders::guideDir() const { return startDir + QStringLiteral("/TVGenial"); }
QString TimerFolders::bouquetsFile() const { return settingsDir() + QStringLiteral("/bouquets"); }
QString TimerFolders::servicesFile() const { return settingsDir() + QStringLiteral("/services"); }
QString TimerFolders::settingsFile() const { return settingsDir() + QStringLiteral("/BVSettings.set"); }
QString TimerFolders::timerFile() const { return timerDir() + QStringLiteral("/timer.epl"); }
QString TimerFolders::guideFile() const { return guideDir() + QStringLiteral("/i_REMOTE.txt"); }

void TimerFolders::ensureExist() const
{
    for (const QString &dir : {settingsDir(), timerDir(), guideDir()}) {
        if (!QDir().mkpath(dir))
            throw FileError(QStringLiteral("Das Verzeichnis %1 kann nicht angelegt werden.").arg(dir));
    }
}

bool IsNumber(const QString &text)
{
    try {
        strToInt(text);
        return true;
    } catch (const ConversionError &) {
        return false;
    }
}

QByteArray StripChar(char ch, const QByteArray &text)
{
    QByteArray out = text;
    out.replace(QByteArrayView(&ch, 1), QByteArrayView());
    return out;
}

QString decodeBoxText(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

QString buildChannelEntry(const QByteArray &key, const QByteArray &nameLine)
{
    // sid: tsid: onid: namespace: — the order of a service reference, not of the box's files.
    QByteArray entry = key.mid(0, 5) + key.mid(14, 5) + key.mid(19, 5) + key.mid(5, 9) + ' ' + nameLine;
    QString text = decodeBoxText(entry);
    text.remove(QChar(0x86));
    text.remove(QChar(0x87));
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
    QByteArray out;
    for (const ChannelBouquet &b : bouquets) {
        out += b.name.toUtf8();
        out += "\r\n";
        for (const QString &channel : b.channels) {
            out += '\t';
            out += channel.toUtf8();
            out += "\r\n";
        }
    }
    return out;
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

ChannelSettings ChannelSettings::load(const QString &path) { return fromFileData(textlines::readFile(path)); }

void ChannelSettings::save(const QString &path) const
{
    QSaveFile file(path);
    const QByteArray data = toFileData();
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw FileError(QStringLiteral("Die Datei %1 kann nicht geschrieben werden: %2").arg(path, file.errorString()));
}

// --- ServiceIndex ----------------------------------------------------------------------------

ServiceIndex::ServiceIndex(const QByteArray &servicesData) : m_lines(textlines::split(servicesData))
{
    m_heads.reserve(m_lines.size());
    for (const QByteArray &line : m_lines)
        m_heads.append(textlines::asciiUpper(line.left(KeyLength)));
}

void ServiceIndex::prepare(const QList<QByteArray> &keys)
{
    // A key matches a line when it occurs anywhere in the line's head, so every substring of a
    // head that has the length of some key is looked up; scanning the lines in order and
    // keeping the first hit gives the same answers as searching the file once per key.
    QSet<qsizetype> lengths;
    qsizetype open = 0;
    for (const QByteArray &key : keys) {
        if (key.isEmpty() || key.size() > KeyLength || m_hits.contains(key))
            continue;
        m_hits.insert(key, -1);
        lengths.insert(key.size());
        ++open;
    }
    for (qsizetype i = 0; i < m_heads.size() && open > 0; ++i) {
        const QByteArray &head = m_heads.at(i);
        for (const qsizetype len : std::as_const(lengths)) {
            for (qsizetype at = 0; at + len <= head.size(); ++at) {
                const auto hit = m_hits.find(QByteArray::fromRawData(head.constData() + at, len));
                if (hit != m_hits.end() && hit.value() < 0) {
                    hit.value() = i;
                    --open;
                }
            }
        }
    }
}

std::optional<QString> ServiceIndex::LookupServiceName(const QByteArray &key) const
{
    if (key.isEmpty())
        return std::nullopt;
    const auto hit = m_hits.constFind(key);
    if (hit == m_hits.constEnd())
        return scan(key);
    if (hit.value() < 0)
        return std::nullopt;
    const qsizetype name = hit.value() + 1;
    return buildChannelEntry(key, name < m_lines.size() ? m_lines.at(name) : QByteArray());
}

std::optional<QString> ServiceIndex::scan(const QByteArray &key) const
{
    for (qsizetype i = 0; i < m_heads.size(); ++i) {
        if (m_heads.at(i).contains(key))
            return buildChannelEntry(key, i + 1 < m_lines.size() ? m_lines.at(i + 1) : QByteArray());
    }
    return std::nullopt;
}

// --- Bouquets --------------------------------------------------------------------------------

namespace {

// Walks the bouquets file by its rules and calls onBouquet(name) and onChannel(line).
template<typename OnBouquet, typename OnChannel>
void walkBouquets(const QList<QByteArray> &lines, OnBouquet onBouquet, OnChannel onChannel)
{
    qsizetype i = 0;
    while (i < lines.size()) {
        const QByteArray &line = lines.at(i++);
        if (!IsNumber(QString::fromLatin1(line)))
            continue;
        onBouquet(i < lines.size() ? lines.at(i++) : QByteArray());
        for (int n = 0; n < MaxChannelsPerBouquet && i < lines.size(); ++n) {
            const QByteArray &channel = lines.at(i++);
            if (channel == "/")
                break;
            onChannel(channel);
        }
    }
}

} // namespace

BouquetsReadResult readBouquets(const QByteArray &bouquetsData, ServiceIndex &services, const CreateProgress &progress)
{
    const QList<QByteArray> lines = textlines::split(bouquetsData);
    BouquetsReadResult result;
    for (const QByteArray &line : lines) {
        if (line.contains(':'))
            ++result.channelLines;
    }
    if (progress)
        progress(0, result.channelLines);

    QList<QByteArray> keys;
    walkBouquets(
        lines, [](const QByteArray &) {},
        [&](const QByteArray &channel) { keys.append(textlines::asciiUpper(channel.left(KeyLength))); });
    services.prepare(keys);

    int position = 0;
    walkBouquets(
        lines, [&](const QByteArray &name) { result.settings.bouquets.append(ChannelBouquet{decodeBoxText(name), {}}); },
        [&](const QByteArray &channel) {
            const QByteArray key = textlines::asciiUpper(channel.left(KeyLength));
            if (std::optional<QString> entry = services.LookupServiceName(key))
                result.settings.bouquets.last().channels.append(*entry);
            else
                result.missingKeys.append(decodeBoxText(key));
            if (progress)
                progress(++position, result.channelLines);
        });
    if (progress)
        progress(0, result.channelLines);
    return result;
}

// --- CreateService ---------------------------------------------------------------------------

CreateService::CreateService(TimerFolders folders, BoxClient &box) : m_folders(std::move(folders)), m_box(box) {}

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
        session->quit();
    }

    const QString secondLine = QStringLiteral("\nDie gibt unter SETTINGS bei Morvel ;-)");
    if (!QFileInfo::exists(servicesPath))
        throw FileError(QStringLiteral("Datei -> services <- ist nicht vorhanden ...") + secondLine);
    if (!QFileInfo::exists(bouquetsPath))
        throw FileError(QStringLiteral("Datei -> bouquets <- ist nicht vorhanden ...") + secondLine);

    const QByteArray bouquets = textlines::readFile(bouquetsPath, QStringLiteral("Fehler ... Bouqets"));
    // Read once for the whole run; a file that cannot be read stops the build instead of
    // leaving every channel empty.
    ServiceIndex services(textlines::readFile(servicesPath, QStringLiteral("Fehler ... service")));

    BouquetsReadResult result = readBouquets(bouquets, services, m_progress);
    result.settings.save(m_folders.settingsFile());
    return result;
}
