// Figures for the channel settings build and the timer list codec. Create Service should stay
// within about twice the time it takes to just read its two input files; 10,000 timers should
// read or write in well under 20 ms.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include "app/box_client.h"
#include "common/error.h"
#include "timers/channel_settings.h"
#include "timers/text_lines.h"
#include "timers/timer_list.h"

namespace {

// Create Service reaches the box only when a cache file is missing; here both are present.
class NoBox final : public BoxClient
{
public:
    QString address() const override { return {}; }
    QByteArray httpGet(const QByteArray &, AfterRequest) override
    {
        throw TransferError(QStringLiteral("no box"), 0);
    }
    std::unique_ptr<FtpSession> ftpConnect() override { throw TransferError(QStringLiteral("no box"), 0); }
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeAll(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(data);
}

// A bouquets file holding every service of a services file, split into bouquets of 1000.
QByteArray bouquetsFor(const QByteArray &services)
{
    const QList<QByteArray> lines = services.split('\n');
    QByteArray out = "eDVB bouquets /2/\nbouquets\n";
    qsizetype i = lines.indexOf("services") + 1;
    int n = 0;
    for (; i > 0 && i + 1 < lines.size() && lines.at(i) != "end"; i += 3, ++n) {
        if (n % 1000 == 0)
            out += (n ? "/\n" : "") + QByteArray::number(n / 1000) + "\nBouquet " +
                   QByteArray::number(n / 1000) + '\n';
        QList<QByteArray> fields = lines.at(i).split(':');
        fields.removeLast();
        out += fields.join(':').toLower() + '\n';
    }
    out += "/\nend\nHave a lot of fun!\n";
    return out;
}

QByteArray generatedServices(int count)
{
    QByteArray out = "eDVB services /2/\ntransponders\nend\nservices\n";
    for (int i = 0; i < count; ++i) {
        out += QByteArray::number(i + 1, 16).rightJustified(4, '0') +
               ":00c00000:" + QByteArray::number(i / 40 + 1, 16).rightJustified(4, '0') + ":0001:1:0\n";
        out += "Kanal \xc2\x86" + QByteArray::number(i) + "\xc2\x87 HD\n";
        out += "p:Anbieter\n";
    }
    out += "end\nHave a lot of fun!\n";
    return out;
}

struct Pair
{
    QTemporaryDir dir;
    TimerFolders folders{dir.path()};

    explicit Pair(const QByteArray &services)
    {
        folders.ensureExist();
        writeAll(folders.servicesFile(), services);
        writeAll(folders.bouquetsFile(), bouquetsFor(services));
    }
};

Pair &realPair()
{
    static Pair pair(
        readAll(QStringLiteral(BOXVISOR_SOURCE_DIR) +
                QStringLiteral("/tests/fixtures/enigma1/settings-packages/e2se-seeds_enigma_1/services")));
    return pair;
}

Pair &generatedPair()
{
    static Pair pair(generatedServices(10000));
    return pair;
}

void readBoth(benchmark::State &state, Pair &pair)
{
    for (auto _ : state) {
        const QList<QByteArray> bouquets = textlines::split(textlines::readFile(pair.folders.bouquetsFile()));
        const QList<QByteArray> services = textlines::split(textlines::readFile(pair.folders.servicesFile()));
        benchmark::DoNotOptimize(bouquets.size() + services.size());
    }
}

void createService(benchmark::State &state, Pair &pair)
{
    NoBox box;
    CreateService create(pair.folders, box);
    int channels = 0;
    for (auto _ : state) {
        const BouquetsReadResult result = create.run();
        channels = 0;
        for (const ChannelBouquet &b : result.settings.bouquets)
            channels += static_cast<int>(b.channels.size());
    }
    state.counters["channels"] = channels;
}

// Create Service without writing BVSettings.set: the same reading, indexing and lookups.
void buildOnly(benchmark::State &state, Pair &pair)
{
    for (auto _ : state) {
        const QByteArray bouquets = textlines::readFile(pair.folders.bouquetsFile());
        ServiceIndex services(textlines::readFile(pair.folders.servicesFile()));
        benchmark::DoNotOptimize(readBouquets(bouquets, services).channelLines);
    }
}

void BM_ReadBothFiles_RealPair(benchmark::State &state)
{
    readBoth(state, realPair());
}
void BM_CreateService_RealPair(benchmark::State &state)
{
    createService(state, realPair());
}
void BM_BuildWithoutSaving_RealPair(benchmark::State &state)
{
    buildOnly(state, realPair());
}
void BM_ReadBothFiles_Generated10000(benchmark::State &state)
{
    readBoth(state, generatedPair());
}
void BM_CreateService_Generated10000(benchmark::State &state)
{
    createService(state, generatedPair());
}

void BM_BuildWithoutSaving_Generated10000(benchmark::State &state)
{
    buildOnly(state, generatedPair());
}

TimerList timers(int count)
{
    TimerList list;
    for (int i = 0; i < count; ++i) {
        TimerEntry &e = list.appendNew(QStringLiteral("Tatort: Spielfilm Nummer ") + QString::number(i),
                                       QStringLiteral("1:0:1:2EE3:0441:0001:00C00000:0:0:0:"),
                                       QString::number(1103915700 + i * 3600), QStringLiteral("5400"));
        e.descriptionLead = QStringLiteral("Das Erste/");
    }
    return list;
}

void BM_TimerList_Read10000(benchmark::State &state)
{
    const QByteArray data = timers(10000).toFileData();
    for (auto _ : state) {
        TimerList list;
        list.appendFromFileData(data);
        benchmark::DoNotOptimize(list.size());
    }
    state.counters["bytes"] = static_cast<double>(data.size());
}

void BM_TimerList_Write10000(benchmark::State &state)
{
    const TimerList list = timers(10000);
    for (auto _ : state)
        benchmark::DoNotOptimize(list.toFileData().size());
}

void BM_TimerList_LoadFile10000(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("timer.epl"));
    timers(10000).save(path);
    for (auto _ : state) {
        TimerList list;
        list.load(path);
        benchmark::DoNotOptimize(list.size());
    }
}

void BM_TimerList_SaveFile10000(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("timer.epl"));
    const TimerList list = timers(10000);
    for (auto _ : state)
        list.save(path);
}

} // namespace

BENCHMARK(BM_ReadBothFiles_RealPair)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateService_RealPair)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildWithoutSaving_RealPair)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBothFiles_Generated10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateService_Generated10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildWithoutSaving_Generated10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimerList_Read10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimerList_Write10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimerList_LoadFile10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimerList_SaveFile10000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
