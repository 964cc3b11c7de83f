// Every reader of this subsystem fed with damaged copies of the real files: truncated, with
// flipped bits, oversized and plain binary. Each must give a result (or our error) and never
// crash; the readers' round trips must still hold on whatever they made of the input.

#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "common/error.h"
#include "test_files.h"
#include "timers/box_time.h"
#include "timers/channel_settings.h"
#include "timers/guide_import.h"
#include "timers/text_lines.h"
#include "timers/timer_list.h"

namespace {

struct Variant
{
    std::string name;
    QByteArray data;
};

QList<Variant> variantsOf(const QByteArray &original, quint32 seed)
{
    QList<Variant> variants;
    // Cuts at many places, including inside CR LF pairs and multi-byte characters.
    const qsizetype step = std::max<qsizetype>(1, original.size() / 97);
    for (qsizetype at = 0; at < original.size(); at += step)
        variants.append({"truncated at " + std::to_string(at), original.left(at)});
    QRandomGenerator random(seed);
    for (int n = 0; n < 150; ++n) {
        QByteArray flipped = original;
        const int flips = 1 + n % 8;
        for (int f = 0; f < flips && !flipped.isEmpty(); ++f) {
            const auto at = static_cast<qsizetype>(random.bounded(static_cast<quint32>(flipped.size())));
            flipped[at] = static_cast<char>(flipped.at(at) ^ (1 << random.bounded(8)));
        }
        variants.append({"bit flip " + std::to_string(n), flipped});
    }
    variants.append({"repeated 20 times", original.repeated(20)});
    variants.append({"one long line", QByteArray(original).replace('\n', ' ').repeated(8)});
    variants.append({"line ends only", QByteArray(200000, '\n')});
    variants.append({"CR only line ends", QByteArray(original).replace('\n', '\r')});
    QByteArray binary(1 << 18, '\0');
    for (char &c : binary)
        c = static_cast<char>(random.bounded(256));
    variants.append({"binary", binary});
    variants.append({"empty", QByteArray()});
    return variants;
}

BoxClock fixedClock()
{
    const QDateTime july(QDate(2024, 7, 1), QTime(12, 0), Qt::UTC);
    return BoxClock(QTimeZone("Europe/Berlin"), [july] { return july; });
}

ChannelSettings someSettings()
{
    ChannelSettings s;
    s.bouquets = {{QStringLiteral("B"), {QStringLiteral("2EE3:0441:0001:00C00000: Das Erste")}}};
    return s;
}

QByteArray realServices()
{
    return readBytes(enigmaFixture(QStringLiteral("djgueto_ListaDeCanales/services")));
}

} // namespace

TEST(BadInput, TimerFileReader)
{
    for (const Variant &v : variantsOf(readBytes(timersFixture(QStringLiteral("box_timer.epl"))), 1)) {
        SCOPED_TRACE(v.name);
        TimerList list;
        list.appendFromFileData(v.data);
        TimerList again;
        again.appendFromFileData(list.toFileData());
        ASSERT_EQ(again.entries(), list.entries());
    }
}

TEST(BadInput, SettingsFileReader)
{
    ServiceIndex services(realServices());
    const QByteArray settings =
        readBouquets(readBytes(timersFixture(QStringLiteral("djgueto_bouquets"))), services)
            .settings.toFileData();
    for (const Variant &v : variantsOf(settings, 2)) {
        SCOPED_TRACE(v.name);
        const ChannelSettings read = ChannelSettings::fromFileData(v.data);
        ASSERT_EQ(ChannelSettings::fromFileData(read.toFileData()), read);
        read.findByName(QStringLiteral("Das Erste"));
        read.findByKey(QStringLiteral("2EE3:0441:0001:"));
    }
}

TEST(BadInput, BouquetsReader)
{
    ServiceIndex services(realServices());
    for (const Variant &v : variantsOf(readBytes(timersFixture(QStringLiteral("djgueto_bouquets"))), 3)) {
        SCOPED_TRACE(v.name);
        int last = -1;
        const BouquetsReadResult result = readBouquets(v.data, services, [&](int p, int) { last = p; });
        EXPECT_EQ(last, 0);
        for (const ChannelBouquet &b : result.settings.bouquets)
            ASSERT_LE(b.channels.size(), 1001);
    }
}

TEST(BadInput, ServicesReader)
{
    const QByteArray bouquets = readBytes(timersFixture(QStringLiteral("djgueto_bouquets")));
    for (const Variant &v : variantsOf(realServices(), 4)) {
        SCOPED_TRACE(v.name);
        ServiceIndex prepared(v.data);
        const BouquetsReadResult result = readBouquets(bouquets, prepared);
        // The prepared lookups must agree with a plain scan on any input.
        const ServiceIndex scanning(v.data);
        for (const QByteArray &line : bouquets.split('\n')) {
            const QByteArray key = textlines::asciiUpper(line.left(26));
            ASSERT_EQ(prepared.LookupServiceName(key), scanning.LookupServiceName(key)) << key.toStdString();
        }
        EXPECT_LE(result.settings.bouquets.size(), 2);
    }
}

TEST(BadInput, GuideReader)
{
    const BoxClock clock = fixedClock();
    for (const Variant &v : variantsOf(readBytes(timersFixture(QStringLiteral("i_REMOTE.txt"))), 5)) {
        SCOPED_TRACE(v.name);
        TimerList list;
        const GuideImportResult result = importGuideData(v.data, someSettings(), list, clock);
        ASSERT_EQ(result.added, list.size());
        for (const TimerEntry &e : list.entries()) {
            bool ok = false;
            e.timeBegin.toLongLong(&ok);
            ASSERT_TRUE(ok) << e.timeBegin.toStdString();
            ASSERT_GE(e.duration.toInt(), 0);
            ASSERT_LT(e.duration.toInt(), 86400);
        }
    }
}

TEST(BadInput, OversizedFilesAreRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(textlines::MaxFileSize + 1)); // sparse: no real disk use
    }
    TimerList list;
    EXPECT_THROW(list.load(path), FileError);
    EXPECT_THROW(ChannelSettings::load(path), FileError);

    const TimerFolders folders(dir.path());
    folders.ensureExist();
    ASSERT_TRUE(QFile::rename(path, folders.guideFile()));
    ChannelSettings chooser;
    EXPECT_THROW(runGuideImport(folders, chooser, list, fixedClock()), FileError);
}
