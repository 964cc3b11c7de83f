// How fast an incoming call is answered and announced, and what an idle call monitor costs.
//
// Through the real CAPI library on loopback: the simulated exchange stamps the moment it sends
// CONNECT_IND and the moment CONNECT_RESP arrives (CLOCK_MONOTONIC); this program stamps the
// message request to the simulated box when the call handler issues it and when the box has
// answered it (the same clock). Then it measures the CPU time of this process while the monitor
// waits for calls, and after the exchange went away.
//
//   isdn_call_bench [calls-per-run] [runs] [idle-seconds]     (defaults 100 5 5)

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "app/curl_box_client.h"
#include "callnotify/call_handler.h"
#include "callnotify/phone_book.h"
#include "capi/capi_monitor.h"
#include "common/activity_log.h"
#include "support/simbox.h"
#include "support/simexchange.h"

namespace {

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Stamps each HTTP request on its way to the box and back.
class TimedBoxClient final : public BoxClient
{
public:
    explicit TimedBoxClient(std::unique_ptr<BoxClient> inner) : m_inner(std::move(inner)) {}
    QString address() const override { return m_inner->address(); }
    QByteArray httpGet(const QByteArray &target, AfterRequest after) override
    {
        issued.push_back(nowNs());
        QByteArray body = m_inner->httpGet(target, after);
        answered.push_back(nowNs());
        return body;
    }
    std::unique_ptr<FtpSession> ftpConnect() override { return m_inner->ftpConnect(); }

    std::vector<qint64> issued;
    std::vector<qint64> answered;

private:
    std::unique_ptr<BoxClient> m_inner;
};

struct Figures
{
    double median = 0, p90 = 0, max = 0;
};

Figures figures(std::vector<double> values)
{
    Figures f;
    if (values.empty())
        return f;
    std::sort(values.begin(), values.end());
    f.median = values[values.size() / 2];
    f.p90 = values[std::min(values.size() - 1, values.size() * 9 / 10)];
    f.max = values.back();
    return f;
}

void print(const char *what, const Figures &f)
{
    std::printf("  %-44s median %8.3f ms   p90 %8.3f ms   max %8.3f ms\n", what, f.median, f.p90, f.max);
}

// Runs the event loop (the engine hands its messages to this thread) for seconds.
void idle(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

int argument(int argc, char **argv, int index, int fallback)
{
    return argc > index ? std::max(1, std::atoi(argv[index])) : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int callsPerRun = argument(argc, argv, 1, 100);
    const int runs = argument(argc, argv, 2, 5);
    const int idleSeconds = argument(argc, argv, 3, 5);

    SimExchange exchange; // before the first CAPI call: it points the library at itself
    SimBox box;
    TimedBoxClient client(makeCurlBoxClient([&box] { return box.address(); }));
    ActivityLog log;
    PhoneBook phoneBook;
    CallSettings settings;
    settings.edtTime = QStringLiteral("10");
    QString callerNumber, callerName, calledNumber;
    CallHandler handler([&settings] { return settings; },
                        CallerFields{callerNumber, callerName, calledNumber}, phoneBook, client, log);
    TCapiMonitor monitor;
    monitor.OnIncomingCall = [&handler](const QString &calling, const QString &called, quint16 cip,
                                        const QString &) {
        handler.CapiMonitor1IncomingCall(calling, called, cip);
    };
    if (!monitor.StartMonitor(1, 0) || !exchange.waitFor(QStringLiteral("LISTEN_REQ"), 1)) {
        std::fprintf(stderr, "monitor did not start: %s\n", qPrintable(monitor.ErrorString()));
        return 1;
    }

    std::printf("Incoming call latency, %d runs of %d calls (loopback, real libcapi20, Debug build unless "
                "configured otherwise)\n",
                runs, callsPerRun);
    std::vector<double> allResp, allIssued, allAnswered;
    for (int run = 0; run < runs; ++run) {
        exchange.reset();
        box.reset();
        client.issued.clear();
        client.answered.clear();
        for (int i = 0; i < callsPerRun; ++i) {
            const quint32 plci =
                exchange.placeCall(QStringLiteral("301234"), 0x21, 0x80, QStringLiteral("41"), 16)
                    .plcis.value(0);
            exchange.hangUp(plci, 0x3490);
            // The DISCONNECT_RESP comes after the whole handling of the call (box request included).
            if (!exchange.waitFor(QStringLiteral("DISCONNECT_RESP"), i + 1)) {
                std::fprintf(stderr, "call %d of run %d was not cleared\n", i, run);
                return 1;
            }
        }
        const QList<SimExchange::Message> inds = exchange.sent(QStringLiteral("CONNECT_IND"));
        const QList<SimExchange::Message> resps = exchange.received(QStringLiteral("CONNECT_RESP"));
        if (inds.size() != callsPerRun || resps.size() != callsPerRun ||
            client.issued.size() != static_cast<size_t>(callsPerRun)) {
            std::fprintf(stderr,
                         "run %d: %lld CONNECT_IND, %lld CONNECT_RESP, %zu box requests for %d calls\n", run,
                         static_cast<long long>(inds.size()), static_cast<long long>(resps.size()),
                         client.issued.size(), callsPerRun);
            return 1;
        }
        std::vector<double> resp, issued, answered;
        for (int i = 0; i < callsPerRun; ++i) {
            const double sentAt = static_cast<double>(inds[i].monotonicNs);
            resp.push_back((static_cast<double>(resps[i].monotonicNs) - sentAt) / 1e6);
            issued.push_back((static_cast<double>(client.issued[static_cast<size_t>(i)]) - sentAt) / 1e6);
            answered.push_back((static_cast<double>(client.answered[static_cast<size_t>(i)]) - sentAt) / 1e6);
        }
        allResp.insert(allResp.end(), resp.begin(), resp.end());
        allIssued.insert(allIssued.end(), issued.begin(), issued.end());
        allAnswered.insert(allAnswered.end(), answered.begin(), answered.end());
        std::printf(" run %d:\n", run + 1);
        print("CONNECT_IND sent -> CONNECT_RESP received", figures(resp));
        print("CONNECT_IND sent -> box request issued", figures(issued));
        print("CONNECT_IND sent -> box request answered", figures(answered));
    }
    std::printf(" all runs:\n");
    print("CONNECT_IND sent -> CONNECT_RESP received", figures(allResp));
    print("CONNECT_IND sent -> box request issued", figures(allIssued));
    print("CONNECT_IND sent -> box request answered", figures(allAnswered));

    // The same request straight through the box client, without a call: how much of the time to
    // the answer is the HTTP round trip to the simulated box alone.
    std::vector<double> roundTrips;
    client.issued.clear();
    client.answered.clear();
    const QByteArray target = handler.messageTarget(settings);
    for (int i = 0; i < callsPerRun; ++i)
        client.httpGet(target, AfterRequest::Close);
    for (size_t i = 0; i < client.issued.size(); ++i)
        roundTrips.push_back(static_cast<double>(client.answered[i] - client.issued[i]) / 1e6);
    print("box request round trip alone (no call)", figures(roundTrips));

    double before = cpuSeconds();
    idle(idleSeconds);
    double used = cpuSeconds() - before;
    std::printf("\nIdle monitor, %d s without calls: %.1f ms CPU (%.3f %% of one core)\n", idleSeconds,
                used * 1000, used * 100 / idleSeconds);

    exchange.kill();
    before = cpuSeconds();
    idle(idleSeconds);
    used = cpuSeconds() - before;
    std::printf("Monitor after the exchange went away, %d s: %.1f ms CPU (%.3f %% of one core)\n",
                idleSeconds, used * 1000, used * 100 / idleSeconds);
    return 0;
}
