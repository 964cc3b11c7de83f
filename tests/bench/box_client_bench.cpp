// Box client figures against the simulated box: HTTP requests per second (each on a new
// connection, as the box closes every one) and FTP throughput in both directions.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include "app/curl_box_client.h"
#include "support/simbox.h"

namespace {
SimBox *box = nullptr;

std::unique_ptr<BoxClient> client()
{
    return makeCurlBoxClient([] { return box->address(); });
}

void BM_HttpMessageRequest(benchmark::State &state)
{
    auto c = client();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            c->httpGet("/cgi-bin/xmessage?timeout=10&caption=Ein%20Anruf&body=Anrufer:%200301234"));
    box->reset();
}
BENCHMARK(BM_HttpMessageRequest)->Unit(benchmark::kMillisecond)->UseRealTime();

QByteArray payload(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = static_cast<char>(i * 131);
    return data;
}

void BM_FtpRetrieve(benchmark::State &state)
{
    QFile remote(box->filePath(QStringLiteral("/hdd/movie/film.ts")));
    remote.open(QIODevice::WriteOnly);
    remote.write(payload(state.range(0)));
    remote.close();
    QTemporaryDir local;
    auto c = client();
    auto ftp = c->ftpConnect();
    for (auto _ : state)
        ftp->retrieve(QStringLiteral("/hdd/movie/film.ts"), local.filePath(QStringLiteral("film.ts")));
    ftp->quit();
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FtpRetrieve)
    ->Arg(64 * 1024)
    ->Arg(64 * 1024 * 1024)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_FtpStore(benchmark::State &state)
{
    QTemporaryDir local;
    QFile file(local.filePath(QStringLiteral("timer.epl")));
    file.open(QIODevice::WriteOnly);
    file.write(payload(state.range(0)));
    file.close();
    auto c = client();
    auto ftp = c->ftpConnect();
    for (auto _ : state)
        ftp->store(file.fileName(), QStringLiteral("/var/tuxbox/config/enigma/timer.epl"));
    ftp->quit();
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FtpStore)->Arg(64 * 1024)->Arg(64 * 1024 * 1024)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SimBox simulated;
    box = &simulated;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
