#include "timers/channel_settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "common/error.h"
#include "fake_box.h"
#include "test_files.h"

namespace {

const char *const RealServicesFiles[] = {
    "djgueto_ListaDeCanales/services",
    "djgueto_ListaDeCanales/services_org",
    "e2se-seeds_enigma_1/services",
};
const char *const RealBouquetsFiles[] = {
    "djgueto_ListaDeCanales/bouquets",
    "djgueto_ListaDeCanales/bouquets_org",
    "e2se-seeds_enigma_1/bouquets",
};

// The service records of a services file: key line and name line of each, in file order.
QList<std::pair<QByteArray, QByteArray>> serviceRecords(const QByteArray &services)
{
    QList<std::pair<QByteArray, QByteArray>> records;
    QList<QByteArray> lines = services.split('\n');
    const qsizetype start = lines.indexOf("services");
    if (start < 0)
        return records;
    for (qsizetype i = start + 1; i + 1 < lines.size() && lines.at(i) != "end"; i += 3)
        records.append({lines.at(i), lines.at(i + 1)});
    return records;
}

// A bouquets line as the box writes it from a services key line: sid:ns:tsid:onid:type.
QByteArray bouquetLine(const QByteArray &serviceKeyLine)
{
    QList<QByteArray> fields = serviceKeyLine.split(':');
    fields.removeLast(); // the service number
    return fields.join(':').toLower();
}

QByteArray upper26(const QByteArray &line)
{
    return line.left(26).toUpper();
}

// Sets up a start folder whose cache holds the given box files (null: missing).
struct StartDir
{
    StartDir()
    {
        EXPECT_TRUE(dir.isValid());
        folders.ensureExist();
    }
    void put(const QString &file, const QString &source) { EXPECT_TRUE(QFile::copy(source, file)); }

    QTemporaryDir dir;
    TimerFolders folders{dir.path()};
};

} // namespace

TEST(ChannelText, IsNumber)
{
    const std::pair<const char *, bool> cases[] = {
        {"0", true},
        {"42", true},
        {"-7", true},
        {"$1F", true},
        {"0x1f", true},
        {" 5 ", true},
        {"+3", true},
        {"0x-5", true},
        {"", false},
        {"abc", false},
        {"12a", false},
        {"/", false},
        {"end", false},
        {"1.5", false},
        {"1e3", false},
        {"+-5", false},
        {"- 5", false},
        {"99999999999", false},
        {"$", false},
        {"0x", false},
        {"\xd9\xa3", false}, // an Arabic-Indic digit
        {"2ee3:00c00000:0441:0001:1", false},
    };
    for (const auto &[text, number] : cases) {
        const QString t = QString::fromUtf8(text);
        EXPECT_EQ(IsNumber(t), number) << '"' << text << '"';
        // The same acceptance as the shared integer conversion.
        bool converts = true;
        try {
            strToInt(t);
        } catch (const ConversionError &) {
            converts = false;
        }
        EXPECT_EQ(IsNumber(t), converts) << '"' << text << '"';
    }
}

TEST(ChannelText, StripChar)
{
    EXPECT_EQ(StripChar('\xc2', QByteArray("\xc2"
                                           "a\xc2\xc2"
                                           "b")),
              QByteArray("ab"));
    EXPECT_EQ(StripChar('x', QByteArray("abc")), QByteArray("abc"));
}

TEST(ChannelText, ChannelEntryLayoutAndEmphasisMarks)
{
    const QByteArray key = "1197:00C00000:0406:0001:25";
    struct Case
    {
        const char *name;
        QByteArray nameLine;
        QString entryName;
    };
    const Case cases[] = {
        {"PlainName", "Das Erste", QStringLiteral("Das Erste")},
        {"EmphasisMarksAroundShortName",
         "\xc2\x86"
         "EDGE\xc2\x87sport",
         QStringLiteral("EDGEsport")},
        {"DegreeSignStaysWhole",
         "19.2\xc2\xb0"
         "E",
         QStringLiteral("19.2°E")},
        {"LetterWithContinuationByte86StaysWhole",
         "\xc4\x86"
         "iro",
         QStringLiteral("Ćiro")},
        {"DoubleEncodedTextStays",
         "19.2\xc3\x82\xc2\xb0"
         "E",
         QStringLiteral("19.2Â°E")},
        {"EightBitNameWithEmphasisBytes", "\x86Kabel\x87 1 \xe4", QStringLiteral("Kabel 1 ä")},
        {"EmptyName", "", QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(buildChannelEntry(key, c.nameLine),
                  QStringLiteral("1197:0406:0001:00C00000: ") + c.entryName);
    }
}

TEST(ChannelText, DecodeBoxText)
{
    struct Case
    {
        const char *name;
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        {"Ascii", "ZDF", QStringLiteral("ZDF")},
        {"Utf8", "M+ ACCI\xc3\x93N", QStringLiteral("M+ ACCIÓN")},
        {"FourByteUtf8", "\xf0\x9f\x93\xba TV", QStringLiteral("\U0001F4FA TV")},
        {"Latin1", "M\xfcnchen", QStringLiteral("München")},
        {"TruncatedSequenceIsLatin1", "Caf\xc3", QStringLiteral("Caf\u00c3")},
        {"OverlongIsLatin1", "\xc0\xaf", QStringLiteral("\u00c0\u00af")},
        {"SurrogateIsLatin1", "\xed\xa0\x80", QStringLiteral("\u00ed\u00a0\u0080")},
        {"BeyondUnicodeIsLatin1", "\xf4\x90\x80\x80", QStringLiteral("\u00f4\u0090\u0080\u0080")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decodeBoxText(c.bytes), c.text);
    }
}

TEST(ServiceIndex, EveryRealServicesFileResolvesEveryService)
{
    for (const char *file : RealServicesFiles) {
        SCOPED_TRACE(file);
        const QByteArray data = readBytes(enigmaFixture(QString::fromLatin1(file)));
        const auto records = serviceRecords(data);
        ASSERT_GT(records.size(), 500);

        QList<QByteArray> keys;
        QHash<QByteArray, QByteArray> firstName; // some lists repeat a service: the first counts
        for (const auto &record : records) {
            keys.append(upper26(bouquetLine(record.first)));
            if (!firstName.contains(keys.last()))
                firstName.insert(keys.last(), record.second);
        }
        ServiceIndex prepared(data);
        prepared.prepare(keys);
        const ServiceIndex scanning(data);

        int resolved = 0;
        for (qsizetype i = 0; i < records.size(); ++i) {
            const std::optional<QString> entry = prepared.LookupServiceName(keys.at(i));
            ASSERT_TRUE(entry.has_value()) << keys.at(i).toStdString();
            EXPECT_EQ(entry, scanning.LookupServiceName(keys.at(i)));
            EXPECT_EQ(*entry, buildChannelEntry(keys.at(i), firstName.value(keys.at(i))));
            EXPECT_EQ(entry->size() >= 25 ? entry->at(24) : QChar(), QChar(u' '));
            ++resolved;
        }
        EXPECT_EQ(resolved, records.size());
    }
}

TEST(ServiceIndex, PreparedLookupMatchesTheScanForOddKeys)
{
    const QByteArray data = readBytes(enigmaFixture(QStringLiteral("djgueto_ListaDeCanales/services")));
    const QList<QByteArray> keys = {
        "1197:00C00000:0406:0001:25", // the emphasis-marked name
        "1197:00C00000:0406:0001:2",  // a prefix of a longer type
        "00C00000:0406:0001:25",      // found inside the line, not at its start
        "EDVB SERVICES",              // the header line: the next line is the name
        "HAVE A LOT OF FUN!",         // not in this file
        "P:SES",                      // a provider line
        "DEAD:00C00000:03F0:0001:1",
        "1",
        "",
    };
    ServiceIndex prepared(data);
    prepared.prepare(keys);
    const ServiceIndex scanning(data);
    for (const QByteArray &key : keys)
        EXPECT_EQ(prepared.LookupServiceName(key), scanning.LookupServiceName(key)) << key.toStdString();
    EXPECT_EQ(prepared.LookupServiceName("1197:00C00000:0406:0001:25"),
              QStringLiteral("1197:0406:0001:00C00000: EDGEsport"));
    EXPECT_EQ(prepared.LookupServiceName(""), std::nullopt);
    EXPECT_EQ(prepared.LookupServiceName("DEAD:00C00000:03F0:0001:1"), std::nullopt);

    // A later round with known, new and repeated keys answers each in its own place.
    QList<QByteArrayView> again = {
        "7474:00C00000:03F0:0001:1", keys.at(0), "DEAD:00C00000:03F0:0001:1", "", keys.at(0),
        "7474:00C00000:03F0:0001:1", "X:1"};
    const QList<std::optional<QString>> entries = prepared.lookupAll(again);
    ASSERT_EQ(entries.size(), again.size());
    for (qsizetype i = 0; i < again.size(); ++i)
        EXPECT_EQ(entries.at(i), scanning.LookupServiceName(again.at(i))) << i;
    EXPECT_EQ(entries.at(5), QStringLiteral("7474:03F0:0001:00C00000: LA 2"));
}

TEST(Bouquets, EveryRealBouquetsFileReads)
{
    for (const char *file : RealBouquetsFiles) {
        SCOPED_TRACE(file);
        ServiceIndex services(readBytes(enigmaFixture(QStringLiteral("djgueto_ListaDeCanales/services"))));
        const BouquetsReadResult result =
            readBouquets(readBytes(enigmaFixture(QString::fromLatin1(file))), services);
        EXPECT_TRUE(result.settings.isEmpty()) << "the box's provider bouquets files are empty";
        EXPECT_TRUE(result.missingKeys.isEmpty());
    }
}

TEST(Bouquets, ReadsBouquetsFromRealServices)
{
    ServiceIndex services(readBytes(enigmaFixture(QStringLiteral("djgueto_ListaDeCanales/services"))));
    QList<std::pair<int, int>> progress;
    const BouquetsReadResult result = readBouquets(
        readBytes(timersFixture(QStringLiteral("djgueto_bouquets"))), services, [&](int p, int m) {
            progress.append({p, m});
        });

    ChannelSettings expected;
    expected.bouquets = {
        {QStringLiteral("Favourites"),
         {QStringLiteral("2B8E:03F2:0001:00C00000: 3sat HD"),
          QStringLiteral("1197:0406:0001:00C00000: EDGEsport"),
          QStringLiteral("7474:03F0:0001:00C00000: LA 2")}},
        {QStringLiteral("Spanien"),
         {QStringLiteral("746C:03F0:0001:00C00000: M+ ACCIÓN"),
          QStringLiteral("78BF:03EC:0001:00C00000: M+ CLÁSICOS HD")}},
    };
    EXPECT_EQ(result.settings, expected);
    EXPECT_EQ(result.missingKeys, QStringList{QStringLiteral("DEAD:00C00000:03F0:0001:1")});
    EXPECT_EQ(result.channelLines, 6);
    const QList<std::pair<int, int>> expectedProgress = {{0, 6}, {1, 6}, {2, 6}, {3, 6},
                                                         {4, 6}, {5, 6}, {6, 6}, {0, 6}};
    EXPECT_EQ(progress, expectedProgress);
}

TEST(Bouquets, ChannelLimitAndEndOfFile)
{
    const QByteArray services = "services\n0001:00c00000:0001:0001:1:0\nOne\np:x\nend\n";
    const QByteArray channel = "0001:00c00000:0001:0001:1\n";
    struct Case
    {
        const char *name;
        QByteArray bouquets;
        QList<std::pair<QString, int>> expected; // bouquet name, number of channels
    };
    const Case cases[] = {
        {"LimitSkipsTheRest", "1\nBig\n" + channel.repeated(1003) + "/\n", {{QStringLiteral("Big"), 1001}}},
        {"LimitThenANumberStartsABouquet",
         "1\nBig\n" + channel.repeated(1001) + "2\nNext\n" + channel + "/\n",
         {{QStringLiteral("Big"), 1001}, {QStringLiteral("Next"), 1}}},
        {"SlashEndsTheBouquet",
         "1\nA\n" + channel + "/\n" + channel + "2\nB\n/\n",
         {{QStringLiteral("A"), 1}, {QStringLiteral("B"), 0}}},
        {"EndOfFileEndsTheBouquet", "1\nA\n" + channel + channel, {{QStringLiteral("A"), 2}}},
        {"NumberAtTheVeryEnd", "5", {{QString(), 0}}},
        {"CrLfLines", "1\r\nA\r\n" + channel.chopped(1) + "\r\n/\r\n", {{QStringLiteral("A"), 1}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ServiceIndex index(services);
        const BouquetsReadResult result = readBouquets(c.bouquets, index);
        ASSERT_EQ(result.settings.bouquets.size(), c.expected.size());
        for (qsizetype i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(result.settings.bouquets.at(i).name, c.expected.at(i).first);
            EXPECT_EQ(result.settings.bouquets.at(i).channels.size(), c.expected.at(i).second);
        }
    }
}

TEST(SettingsFile, WritesTabIndentedCrLfLinesAndReadsThemBack)
{
    ChannelSettings settings;
    settings.bouquets = {
        {QStringLiteral("Favourites"),
         {QStringLiteral("2EE3:0441:0001:00C00000: Das Erste"),
          QStringLiteral("1197:0406:0001:00C00000: EDGEsport")}},
        {QStringLiteral("Leer"), {}},
        {QStringLiteral("Spanien ñ"), {QStringLiteral("746C:03F0:0001:00C00000: M+ ACCIÓN")}},
    };
    const QByteArray data = settings.toFileData();
    EXPECT_EQ(data, QByteArray("Favourites\r\n"
                               "\t2EE3:0441:0001:00C00000: Das Erste\r\n"
                               "\t1197:0406:0001:00C00000: EDGEsport\r\n"
                               "Leer\r\n"
                               "Spanien \xc3\xb1\r\n"
                               "\t746C:03F0:0001:00C00000: M+ ACCI\xc3\x93N\r\n"));
    EXPECT_EQ(ChannelSettings::fromFileData(data), settings);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("BVSettings.set"));
    settings.save(path);
    EXPECT_EQ(ChannelSettings::load(path), settings);
    EXPECT_THROW(ChannelSettings::load(dir.filePath(QStringLiteral("none.set"))), FileError);
}

TEST(SettingsFile, ReadsOtherIndentation)
{
    const ChannelSettings settings =
        ChannelSettings::fromFileData("\tOrphan\n  A\nB\n  one\n\t\ttwo\n \tthree\n\nC \xe4\n");
    const QList<ChannelBouquet> expected = {
        {QStringLiteral("Orphan"), {QStringLiteral("A")}},
        {QStringLiteral("B"), {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}},
        {QString(), {}},
        {QStringLiteral("C ä"), {}},
    };
    EXPECT_EQ(settings.bouquets, expected);
}

TEST(SettingsFile, FindByKeyAndByName)
{
    ChannelSettings settings;
    settings.bouquets = {
        {QStringLiteral("2EE3:0441:0001: a bouquet named like a key and like Das Erste"), {}},
        {QStringLiteral("Favourites"),
         {QStringLiteral("2EE3:0441:0001:00C00000: Das Erste"),
          QStringLiteral("2EE3:0441:0001:00C00000: Das Erste HD"),
          QStringLiteral("7474:03F0:0001:00C00000: "), QStringLiteral("short")}},
        {QStringLiteral("Zweite"), {QStringLiteral("2EE3:0441:0001:00820000: Das Erste")}},
    };
    EXPECT_EQ(settings.nodesInOrder().size(), 8);
    EXPECT_EQ(settings.findByKey(QStringLiteral("2EE3:0441:0001:")),
              QStringLiteral("2EE3:0441:0001:00C00000: Das Erste"));
    EXPECT_EQ(settings.findByKey(QStringLiteral("FFFF:0441:0001:")), std::nullopt);
    EXPECT_EQ(settings.findByKey(QString()), std::nullopt);
    EXPECT_EQ(settings.findByName(QStringLiteral("Das Erste")),
              QStringLiteral("2EE3:0441:0001:00C00000: Das Erste"));
    EXPECT_EQ(settings.findByName(QStringLiteral("Das Erste HD")),
              QStringLiteral("2EE3:0441:0001:00C00000: Das Erste HD"));
    EXPECT_EQ(settings.findByName(QStringLiteral("das erste")), std::nullopt);
    EXPECT_EQ(settings.findByName(QString()), std::nullopt);
}

TEST(CreateService, BuildsFromTheCacheWithoutTheBox)
{
    StartDir start;
    start.put(start.folders.servicesFile(), enigmaFixture(QStringLiteral("djgueto_ListaDeCanales/services")));
    start.put(start.folders.bouquetsFile(), timersFixture(QStringLiteral("djgueto_bouquets")));
    FakeBoxClient box;
    CreateService create(start.folders, box);
    QStringList messages;
    create.setInform([&](const QString &m) { messages.append(m); });
    int lastPosition = -1;
    create.setProgress([&](int p, int) { lastPosition = p; });

    const BouquetsReadResult result = create.run();
    EXPECT_TRUE(box.calls.isEmpty());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(lastPosition, 0);
    EXPECT_EQ(result.settings.bouquets.size(), 2);
    EXPECT_EQ(readBytes(start.folders.settingsFile()),
              QByteArray("Favourites\r\n"
                         "\t2B8E:03F2:0001:00C00000: 3sat HD\r\n"
                         "\t1197:0406:0001:00C00000: EDGEsport\r\n"
                         "\t7474:03F0:0001:00C00000: LA 2\r\n"
                         "Spanien\r\n"
                         "\t746C:03F0:0001:00C00000: M+ ACCI\xc3\x93N\r\n"
                         "\t78BF:03EC:0001:00C00000: M+ CL\xc3\x81SICOS HD\r\n"));
}

TEST(CreateService, DownloadsWhenACacheFileIsMissing)
{
    StartDir start;
    start.put(start.folders.bouquetsFile(), timersFixture(QStringLiteral("djgueto_bouquets")));
    FakeBoxClient box;
    box.files.insert(QStringLiteral("/var/tuxbox/config/enigma/bouquets"),
                     timersFixture(QStringLiteral("djgueto_bouquets")));
    box.files.insert(QStringLiteral("/var/tuxbox/config/enigma/services"),
                     enigmaFixture(QStringLiteral("djgueto_ListaDeCanales/services")));
    CreateService create(start.folders, box);
    QStringList messages;
    create.setInform([&](const QString &m) { messages.append(m); });

    create.run();
    EXPECT_EQ(messages, QStringList{QStringLiteral(
                            "Es sind keine Settings im Verzeichnis -MorvelSettings- vorhanden !\n"
                            "Die Settigs werden nun von der DB geladen !")});
    EXPECT_EQ(
        box.calls,
        (QStringList{QStringLiteral("connect"), QStringLiteral("RETR /var/tuxbox/config/enigma/bouquets"),
                     QStringLiteral("RETR /var/tuxbox/config/enigma/services"), QStringLiteral("ABOR"),
                     QStringLiteral("QUIT")}));
    EXPECT_EQ(readBytes(start.folders.servicesFile()),
              readBytes(enigmaFixture(QStringLiteral("djgueto_ListaDeCanales/services"))));
    EXPECT_EQ(ChannelSettings::load(start.folders.settingsFile()).bouquets.size(), 2);
}

TEST(CreateService, FailuresLeaveTheSettingsFileAlone)
{
    struct Case
    {
        const char *name;
        bool refuse;
        bool silent;
        bool serveBouquets;
        bool serveServices;
        const char *message; // null: the box's TransferError
    };
    const Case cases[] = {
        {"BoxUnreachable", true, false, true, true, nullptr},
        {"ServicesTransferFails", false, false, true, false, nullptr},
        {"NoServicesAfterDownload", false, true, true, false,
         "Datei -> services <- ist nicht vorhanden ...\nDie gibt unter SETTINGS bei Morvel ;-)"},
        {"NoBouquetsAfterDownload", false, true, false, true,
         "Datei -> bouquets <- ist nicht vorhanden ...\nDie gibt unter SETTINGS bei Morvel ;-)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        StartDir start;
        testfiles::write(start.folders.settingsFile(), "old\r\n");
        FakeBoxClient box;
        box.refuseConnection = c.refuse;
        box.silentMissing = c.silent;
        if (c.serveBouquets)
            box.files.insert(QString::fromLatin1(BoxBouquetsPath),
                             timersFixture(QStringLiteral("djgueto_bouquets")));
        if (c.serveServices)
            box.files.insert(QString::fromLatin1(BoxServicesPath),
                             enigmaFixture(QStringLiteral("djgueto_ListaDeCanales/services")));
        CreateService create(start.folders, box);
        if (c.message) {
            try {
                create.run();
                ADD_FAILURE() << "no error";
            } catch (const TimerNotice &e) {
                EXPECT_EQ(e.message(), QString::fromUtf8(c.message));
            }
        } else {
            EXPECT_THROW(create.run(), TransferError);
        }
        EXPECT_EQ(readBytes(start.folders.settingsFile()), QByteArray("old\r\n"));
    }
}

TEST(CreateService, UnreadableCacheFiles)
{
    // A folder where a file is expected cannot be opened as a file.
    for (const bool bouquetsBroken : {true, false}) {
        SCOPED_TRACE(bouquetsBroken ? "bouquets" : "services");
        StartDir start;
        start.put(start.folders.servicesFile(),
                  enigmaFixture(QStringLiteral("djgueto_ListaDeCanales/services")));
        start.put(start.folders.bouquetsFile(), timersFixture(QStringLiteral("djgueto_bouquets")));
        const QString broken = bouquetsBroken ? start.folders.bouquetsFile() : start.folders.servicesFile();
        QFile::remove(broken);
        ASSERT_TRUE(QDir().mkdir(broken));
        FakeBoxClient box;
        CreateService create(start.folders, box);
        try {
            create.run();
            ADD_FAILURE() << "no error";
        } catch (const TimerNotice &e) {
            EXPECT_EQ(e.message(), bouquetsBroken ? QStringLiteral("Fehler ... Bouqets")
                                                  : QStringLiteral("Fehler ... service"));
        }
        EXPECT_FALSE(QFileInfo::exists(start.folders.settingsFile()));
    }
}

TEST(TimerFolders, CreatesTheThreeFolders)
{
    QTemporaryDir dir;
    const TimerFolders folders(dir.path());
    folders.ensureExist();
    folders.ensureExist();
    QStringList made = QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    made.sort();
    EXPECT_EQ(made, (QStringList{QStringLiteral("MorvelSettings"), QStringLiteral("TVGenial"),
                                 QStringLiteral("Timer_epl")}));
    EXPECT_EQ(folders.settingsFile(), dir.path() + QStringLiteral("/MorvelSettings/BVSettings.set"));
    EXPECT_EQ(folders.timerFile(), dir.path() + QStringLiteral("/Timer_epl/timer.epl"));
    EXPECT_EQ(folders.guideFile(), dir.path() + QStringLiteral("/TVGenial/i_REMOTE.txt"));
}
