#include <gtest/gtest.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

#include "app/box_client.h"
#include "app/curl_box_client.h"
#include "common/error.h"
#include "support/simbox.h"
#include "support/test_files.h"

namespace {
const QString TIMER_FILE = QStringLiteral("/var/tuxbox/config/enigma/timer.epl");
const QString MOVIE_DIR = QStringLiteral("/hdd/movie");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

QByteArray allByteValues(int repeat)
{
    QByteArray data;
    for (int r = 0; r < repeat; ++r)
        for (int b = 0; b < 256; ++b)
            data.append(static_cast<char>(b));
    return data;
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// The box records a session's end only once it notices the closed connection.
bool waitForFtpCommand(const SimBox &box, const QString &command)
{
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (box.ftpCommands().contains(command))
            return true;
    }
    return false;
}

class CurlBoxClientTest : public ::testing::Test
{
protected:
    SimBox box;
    std::unique_ptr<BoxClient> client = makeCurlBoxClient([this] { return box.address(); });
    QTemporaryDir local;

    QString localPath(const QString &name) const { return local.filePath(name); }
};
} // namespace

// ---------------------------------------------------------------------------------------------
// HTTP

TEST_F(CurlBoxClientTest, MessageRequestArrivesByteForByte)
{
    const QByteArray target = "/cgi-bin/"
                              "xmessage?timeout=10&caption=Ein%20Anruf%20kommt...&body=Anrufer:%200301234%20:"
                              "%20kein%20Name%20im%20Telefonbuch";
    EXPECT_EQ(client->httpGet(target), "+ok");
    EXPECT_EQ(box.requests(), QList<QByteArray>{target});
    EXPECT_EQ(box.requestLines(), QList<QByteArray>{"GET " + target + " HTTP/1.1"});
    const QJsonObject message = box.state().value(QStringLiteral("message")).toObject();
    EXPECT_EQ(message.value(QStringLiteral("caption")).toString(), QStringLiteral("Ein Anruf kommt..."));
    EXPECT_EQ(message.value(QStringLiteral("body")).toString(),
              QStringLiteral("Anrufer: 0301234 : kein Name im Telefonbuch"));
    EXPECT_EQ(message.value(QStringLiteral("timeout")).toInt(), 10);
}

TEST_F(CurlBoxClientTest, OutsideValueCannotAddParameterOrBreakRequestLine)
{
    const QString caption = QStringLiteral("Müller & Co&timeout=0#frag\r\nX-Injected: 1");
    const QByteArray target =
        "/cgi-bin/xmessage?timeout=10&caption=" + encodeQueryValue(caption) + "&body=Text";
    EXPECT_EQ(client->httpGet(target), "+ok");

    const QList<QByteArray> requests = box.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests.first(), target);
    const QJsonObject message = box.state().value(QStringLiteral("message")).toObject();
    EXPECT_EQ(message.value(QStringLiteral("caption")).toString(), caption);
    EXPECT_EQ(message.value(QStringLiteral("timeout")).toInt(), 10);
    EXPECT_EQ(message.value(QStringLiteral("body")).toString(), QStringLiteral("Text"));
}

TEST_F(CurlBoxClientTest, TargetIsSentAsBuiltExceptBytesThatCannotBeInARequestLine)
{
    QByteArray printable;
    for (char c = 0x21; c < 0x7F; ++c)
        if (c != '#')
            printable.append(c);
    const struct
    {
        const char *name;
        QByteArray target;
        QByteArray arrives;
    } cases[] = {
        {"PrintableAsciiUntouched", "/x?v=" + printable, "/x?v=" + printable},
        {"EscapesAndBarePercentKept", "/x?a=%20%0a,%20&b=100%", "/x?a=%20%0a,%20&b=100%"},
        {"DotSegmentsKept", "/a/../b/./c", "/a/../b/./c"},
        {"Blank", "/x?v=a b", "/x?v=a%20b"},
        {"CrLf", "/x?v=a\r\nHost: evil", "/x?v=a%0D%0AHost:%20evil"},
        {"ControlBytes", QByteArray("/x?v=\x01\x7f\t", 8), "/x?v=%01%7F%09"},
        {"NulByte", QByteArray("/x?v=a\0b", 8), "/x?v=a%00b"},
        {"NonAscii", "/x?v=M\xC3\xBCller", "/x?v=M%C3%BCller"},
        {"Hash", "/x?v=a#b", "/x?v=a%23b"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        box.reset();
        EXPECT_THROW(client->httpGet(c.target), TransferError); // the box knows no "/x" (404)
        EXPECT_EQ(box.requests(), QList<QByteArray>{c.arrives});
    }
}

TEST_F(CurlBoxClientTest, BoxRequestsOfTheProgram)
{
    EXPECT_EQ(client->httpGet("/cgi-bin/reloadTimerList"), "+ok");
    client->httpGet("/?path=1:0:1:6dca:44d:1:c00000:0:0:0:", AfterRequest::KeepOpen);
    EXPECT_EQ(client->httpGet("/setVolume?volume=7", AfterRequest::KeepOpen), "");
    EXPECT_TRUE(client->httpGet("/cgi-bin/getcurrentepg").contains("epgview"));

    const QJsonObject state = box.state();
    EXPECT_EQ(state.value(QStringLiteral("timerListReloads")).toInt(), 1);
    EXPECT_EQ(state.value(QStringLiteral("service")).toString(),
              QStringLiteral("1:0:1:6dca:44d:1:c00000:0:0:0:"));
    EXPECT_EQ(state.value(QStringLiteral("volume")).toInt(), 7);
    EXPECT_EQ(box.requests().size(), 4);
}

TEST_F(CurlBoxClientTest, ErrorStatusIsAnError)
{
    try {
        client->httpGet("/CGI-BIN/xmessage?timeout=1&caption=a&body=b");
        FAIL() << "no error";
    } catch (const TransferError &e) {
        EXPECT_EQ(e.code(), 404);
        EXPECT_TRUE(e.message().contains(box.address())) << e.what();
        EXPECT_TRUE(e.message().contains(QStringLiteral("404"))) << e.what();
    }
}

TEST(CurlBoxClientProtected, WebInterfaceWithPasswordRefusesTheRequest)
{
    SimBox::Options options;
    options.auth = QStringLiteral("root:dreambox");
    SimBox box(options);
    auto client = makeCurlBoxClient([&] { return box.address(); });
    try {
        client->httpGet("/cgi-bin/reloadTimerList");
        FAIL() << "no error";
    } catch (const TransferError &e) {
        EXPECT_EQ(e.code(), 401);
    }
}

// ---------------------------------------------------------------------------------------------
// Unreachable and unusable addresses

TEST(CurlBoxClientUnreachable, FailsWithTransferErrorNamingTheHost)
{
    const struct
    {
        const char *name;
        QString address;
        bool ftp;
    } cases[] = {
        {"HttpNothingListensOnLoopback", QStringLiteral("127.1.2.3"), false},
        {"FtpNothingListensOnLoopback", QStringLiteral("127.1.2.3"), true},
        {"HttpNonRoutable", QStringLiteral("10.255.255.1"), false},
        {"FtpNonRoutable", QStringLiteral("10.255.255.1"), true},
        {"HttpPortWhereNothingListens", QStringLiteral("127.1.2.3:8081"), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto client = makeCurlBoxClient([&] { return c.address; });
        try {
            if (c.ftp)
                client->ftpConnect();
            else
                client->httpGet("/cgi-bin/reloadTimerList");
            ADD_FAILURE() << "no error";
        } catch (const TransferError &e) {
            EXPECT_TRUE(e.message().contains(c.address)) << e.what();
        }
    }
}

TEST(CurlBoxClientAddress, UnusableAddressIsRefusedBeforeAnyConnection)
{
    for (const QString &address : {QString(), QStringLiteral("box/evil"), QStringLiteral("user@box"),
                                   QStringLiteral("box name"), QStringLiteral("box\r\nHost: x")}) {
        SCOPED_TRACE(address.toStdString());
        auto client = makeCurlBoxClient([&] { return address; });
        EXPECT_THROW(client->httpGet("/"), TransferError);
        EXPECT_THROW(client->ftpConnect(), TransferError);
    }
}

TEST(CurlBoxClientLogin, RefusedLoginIsAnError)
{
    SimBox::Options options;
    options.ftpPassword = QStringLiteral("dreambox");
    SimBox box(options);
    auto client = makeCurlBoxClient([&] { return box.address(); });
    try {
        client->ftpConnect();
        FAIL() << "no error";
    } catch (const TransferError &e) {
        EXPECT_TRUE(e.message().contains(box.address())) << e.what();
    }
}

// ---------------------------------------------------------------------------------------------
// FTP

TEST_F(CurlBoxClientTest, StoreThenRetrieveKeepsEveryByte)
{
    const struct
    {
        const char *name;
        QByteArray data;
    } cases[] = {
        {"AllByteValues", allByteValues(4096)}, // 1 MiB, many buffers
        {"LineEndsUntouched", "#NAME Timerliste\r\n#SERVICE: 1:0:1:6dca:44d:1:c00000:0:0:0:\r\n\n\r"},
        {"Empty", QByteArray()},
    };
    auto ftp = client->ftpConnect();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        testfiles::write(localPath(QStringLiteral("up.bin")), c.data);
        ftp->store(localPath(QStringLiteral("up.bin")), TIMER_FILE);
        EXPECT_EQ(readAll(box.filePath(TIMER_FILE)), c.data);
        ftp->retrieve(TIMER_FILE, localPath(QStringLiteral("down.bin")));
        EXPECT_EQ(readAll(localPath(QStringLiteral("down.bin"))), c.data);
    }
    ftp->quit();

    const QStringList commands = box.ftpCommands();
    EXPECT_TRUE(commands.contains(QStringLiteral("USER root")));
    EXPECT_TRUE(commands.contains(QStringLiteral("TYPE I")));
    EXPECT_TRUE(commands.filter(QStringLiteral("PORT ")).size() >= 6) << commands.join(u'|').toStdString();
    EXPECT_TRUE(commands.filter(QStringLiteral("PASV")).isEmpty());
    EXPECT_TRUE(commands.filter(QStringLiteral("EPSV")).isEmpty());
    EXPECT_EQ(commands.count(QStringLiteral("CONNECT")), 1) << "one control connection serves the session";
    EXPECT_TRUE(commands.contains(QStringLiteral("QUIT")));
}

TEST_F(CurlBoxClientTest, StoreReplacesTheBoxFileByRenamingACompleteUpload)
{
    testfiles::write(box.filePath(TIMER_FILE), "old list");
    testfiles::write(localPath(QStringLiteral("timer.epl")), "new list");
    auto ftp = client->ftpConnect();
    ftp->store(localPath(QStringLiteral("timer.epl")), TIMER_FILE);
    EXPECT_EQ(readAll(box.filePath(TIMER_FILE)), "new list");
    EXPECT_EQ(filesIn(box.filePath(QStringLiteral("/var/tuxbox/config/enigma"))), QStringList{"timer.epl"});
    const QStringList commands = box.ftpCommands();
    const qsizetype stor = commands.indexOf(QStringLiteral("STOR timer.epl.upload"));
    ASSERT_GE(stor, 0) << commands.join(u'|').toStdString();
    EXPECT_EQ(commands.indexOf(QStringLiteral("RNFR timer.epl.upload")), stor + 1);
    EXPECT_EQ(commands.indexOf(QStringLiteral("RNTO timer.epl")), stor + 2);
}

TEST_F(CurlBoxClientTest, CutOrFailedStoreLeavesTheBoxFileAlone)
{
    const QByteArray big = allByteValues(8 * 4096); // 8 MiB, more than the socket buffers hold
    testfiles::write(localPath(QStringLiteral("big.bin")), big);
    box.setFtpThrottle(256 * 1024);
    const struct
    {
        const char *name;
        QString local;
        QString remote;
        bool fileError;
    } cases[] = {
        {"CutByProgress", localPath(QStringLiteral("big.bin")), TIMER_FILE, false},
        {"MissingLocalFile", localPath(QStringLiteral("none.bin")), TIMER_FILE, true},
        {"MissingBoxFolder", localPath(QStringLiteral("big.bin")), QStringLiteral("/var/nothing/timer.epl"),
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        testfiles::write(box.filePath(TIMER_FILE), "old list");
        auto ftp = client->ftpConnect();
        bool sawProgress = false;
        const auto cut = [&](qint64 done, qint64) {
            sawProgress = sawProgress || done > 0;
            return done == 0;
        };
        if (c.fileError)
            EXPECT_THROW(ftp->store(c.local, c.remote, cut), FileError);
        else if (QString::fromLatin1(c.name) == QStringLiteral("CutByProgress"))
            EXPECT_THROW(ftp->store(c.local, c.remote, cut), CancelledError);
        else
            EXPECT_THROW(ftp->store(c.local, c.remote, cut), TransferError);
        EXPECT_EQ(readAll(box.filePath(TIMER_FILE)), "old list");
        EXPECT_EQ(filesIn(box.filePath(QStringLiteral("/var/tuxbox/config/enigma"))),
                  QStringList{"timer.epl"});
    }
}

TEST_F(CurlBoxClientTest, ListingWithMaskSizeAndChangeDir)
{
    testfiles::write(box.filePath(MOVIE_DIR + QStringLiteral("/Film A.ts")), QByteArray(1500, 'a'));
    testfiles::write(box.filePath(MOVIE_DIR + QStringLiteral("/Film A.ts.001")), "aa");
    testfiles::write(box.filePath(MOVIE_DIR + QStringLiteral("/Film B.ts")), "b");
    testfiles::write(box.filePath(MOVIE_DIR + QStringLiteral("/recordings.epl")), "#NAME x\r\n");

    auto ftp = client->ftpConnect();
    ftp->changeDir(QStringLiteral("/hdd/movie/"));
    EXPECT_EQ(ftp->listNames(QStringLiteral("Film A.ts*")), (QStringList{"Film A.ts", "Film A.ts.001"}));
    EXPECT_EQ(ftp->listNames(QStringLiteral("Nothing*")), QStringList());
    EXPECT_EQ(ftp->listNames().size(), 4);
    EXPECT_EQ(ftp->size(QStringLiteral("Film A.ts")), 1500);
    EXPECT_EQ(ftp->size(QStringLiteral("/hdd/movie/Film B.ts")), 1);
    EXPECT_EQ(ftp->size(QStringLiteral("missing.ts")), -1);

    EXPECT_THROW(ftp->changeDir(QStringLiteral("/hdd/nothing")), TransferError);
    ftp->retrieve(QStringLiteral("recordings.epl"),
                  localPath(QStringLiteral("recordings.epl"))); // still in /hdd/movie
    EXPECT_EQ(readAll(localPath(QStringLiteral("recordings.epl"))), "#NAME x\r\n");

    ftp->changeDir(QStringLiteral("/hdd"));
    ftp->changeDir(QStringLiteral("movie/")); // relative to the current folder
    EXPECT_EQ(ftp->size(QStringLiteral("Film B.ts")), 1);
    ftp->changeDir(QStringLiteral(".."));
    EXPECT_EQ(ftp->listNames(QStringLiteral("mov*")), QStringList{"movie"});

    EXPECT_THROW(ftp->listNames(QStringLiteral("x\r\nDELE recordings.epl")), TransferError);
    EXPECT_THROW(ftp->retrieve(QStringLiteral("x\r\nDELE recordings.epl"), localPath(QStringLiteral("x"))),
                 TransferError);
    EXPECT_TRUE(QFile::exists(box.filePath(MOVIE_DIR + QStringLiteral("/recordings.epl"))));
    ftp->disconnect();
}

TEST_F(CurlBoxClientTest, FailedOrCutRetrieveKeepsTheLocalFile)
{
    testfiles::write(box.filePath(MOVIE_DIR + QStringLiteral("/film.ts")), allByteValues(8 * 4096));
    box.setFtpThrottle(256 * 1024);
    const QString target = localPath(QStringLiteral("film.ts"));
    const struct
    {
        const char *name;
        QString remote;
        bool cut;
    } cases[] = {
        {"MissingBoxFile", QStringLiteral("/hdd/movie/none.ts"), false},
        {"CutByProgress", QStringLiteral("/hdd/movie/film.ts"), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        testfiles::write(target, "old local copy");
        auto ftp = client->ftpConnect();
        const auto progress = [](qint64 done, qint64) { return done == 0; };
        if (c.cut)
            EXPECT_THROW(ftp->retrieve(c.remote, target, progress), CancelledError);
        else
            EXPECT_THROW(ftp->retrieve(c.remote, target, progress), TransferError);
        EXPECT_EQ(readAll(target), "old local copy");
        EXPECT_EQ(filesIn(local.path()), QStringList{"film.ts"}) << "no partial file left behind";
    }
}

TEST_F(CurlBoxClientTest, AbortDuringRetrieve)
{
    testfiles::write(box.filePath(MOVIE_DIR + QStringLiteral("/film.ts")), allByteValues(8 * 4096));
    box.setFtpThrottle(256 * 1024);
    const QString target = localPath(QStringLiteral("film.ts"));
    enum class Ending
    {
        AbortOnly,
        AbortQuitDisconnect,
        AbortFromAnotherThread
    };
    const struct
    {
        const char *name;
        Ending ending;
    } cases[] = {
        {"AbortOnly", Ending::AbortOnly},
        {"AbortQuitDisconnectFromProgress", Ending::AbortQuitDisconnect},
        {"AbortFromAnotherThread", Ending::AbortFromAnotherThread},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        box.reset();
        auto ftp = client->ftpConnect();
        ftp->changeDir(MOVIE_DIR);
        std::atomic<bool> started{false};
        std::thread aborter;
        if (c.ending == Ending::AbortFromAnotherThread) {
            aborter = std::thread([&] {
                started.wait(false);
                ftp->abort();
            });
        }
        qint64 lastDone = 0;
        const auto progress = [&](qint64 done, qint64) {
            lastDone = done;
            if (done > 0 && !started.exchange(true)) {
                started.notify_one();
                if (c.ending == Ending::AbortFromAnotherThread)
                    return true;
                ftp->abort();
                if (c.ending == Ending::AbortQuitDisconnect) {
                    ftp->quit();
                    ftp->disconnect();
                }
            }
            return true;
        };
        EXPECT_THROW(ftp->retrieve(QStringLiteral("film.ts"), target, progress), CancelledError);
        if (!started.exchange(true))
            started.notify_one(); // never leave the other thread waiting
        if (aborter.joinable())
            aborter.join();
        EXPECT_GT(lastDone, 0);
        EXPECT_FALSE(QFile::exists(target));
        if (c.ending != Ending::AbortQuitDisconnect) {
            // The session stays usable after a cut transfer.
            EXPECT_EQ(ftp->size(QStringLiteral("film.ts")), 8 * 4096 * 256);
        } else {
            EXPECT_THROW(ftp->size(QStringLiteral("film.ts")), TransferError);
            EXPECT_TRUE(waitForFtpCommand(box, QStringLiteral("DISCONNECT")));
        }
    }
}

TEST_F(CurlBoxClientTest, QuitSaysGoodbyeDisconnectDoesNot)
{
    for (const bool quit : {true, false}) {
        SCOPED_TRACE(quit ? "Quit" : "Disconnect");
        box.reset();
        auto ftp = client->ftpConnect();
        ftp->changeDir(MOVIE_DIR);
        if (quit)
            ftp->quit();
        else
            ftp->disconnect();
        ASSERT_TRUE(waitForFtpCommand(box, QStringLiteral("DISCONNECT")));
        EXPECT_EQ(box.ftpCommands().contains(QStringLiteral("QUIT")), quit);
        EXPECT_THROW(ftp->listNames(), TransferError);
    }
}

// The end of a session as the box sees it: ABOR, QUIT, disconnect. ABOR between transfers stops
// nothing, so the session stays usable.
TEST_F(CurlBoxClientTest, AbortBetweenTransfersSendsAborAndKeepsTheSession)
{
    box.reset();
    testfiles::write(box.filePath(MOVIE_DIR + QStringLiteral("/a.ts")), QByteArray("abc"));
    auto ftp = client->ftpConnect();
    ftp->changeDir(MOVIE_DIR);
    ftp->abort();
    EXPECT_EQ(ftp->size(QStringLiteral("a.ts")), 3);
    ftp->quit();
    ASSERT_TRUE(waitForFtpCommand(box, QStringLiteral("DISCONNECT")));
    const QStringList commands = box.ftpCommands();
    const qsizetype abor = commands.indexOf(QStringLiteral("ABOR"));
    ASSERT_GE(abor, 0) << commands.join(u' ').toStdString();
    EXPECT_LT(abor, commands.indexOf(QStringLiteral("QUIT")));
}

// While a request runs, the caller's thread keeps handling its events: timers fire, progress is
// reported there, and a request started from such an event does not disturb the one waiting.
TEST_F(CurlBoxClientTest, WaitingKeepsTheCallersEventsRunning)
{
    testfiles::write(box.filePath(MOVIE_DIR + QStringLiteral("/film.ts")), allByteValues(1024)); // 256 KiB
    box.setFtpThrottle(512 * 1024);
    auto ftp = client->ftpConnect();

    bool timerFired = false;
    QByteArray answer;
    bool busyRefused = false;
    QTimer::singleShot(0, [&] {
        timerFired = true;
        answer = client->httpGet("/cgi-bin/reloadTimerList");
        try {
            ftp->size(QStringLiteral("/hdd/movie/film.ts"));
        } catch (const TransferError &) {
            busyRefused = true;
        }
    });
    int calls = 0;
    bool allOnCallerThread = true;
    qint64 lastDone = 0;
    QThread *const caller = QThread::currentThread();
    ftp->retrieve(QStringLiteral("/hdd/movie/film.ts"), localPath(QStringLiteral("film.ts")),
                  [&](qint64 done, qint64) {
                      ++calls;
                      allOnCallerThread = allOnCallerThread && QThread::currentThread() == caller;
                      lastDone = done;
                      return true;
                  });

    EXPECT_TRUE(timerFired);
    EXPECT_EQ(answer, "+ok");
    EXPECT_TRUE(busyRefused);
    EXPECT_GT(calls, 0);
    EXPECT_TRUE(allOnCallerThread);
    EXPECT_EQ(lastDone, 1024 * 256);
    EXPECT_EQ(readAll(localPath(QStringLiteral("film.ts"))), allByteValues(1024));
}

// Core code may call the client from a thread of its own, where no loop runs.
TEST_F(CurlBoxClientTest, WorksFromAPlainThread)
{
    testfiles::write(box.filePath(TIMER_FILE), "list");
    QByteArray answer;
    QByteArray file;
    std::thread worker([&] {
        auto own = makeCurlBoxClient([this] { return box.address(); });
        answer = own->httpGet("/cgi-bin/reloadTimerList");
        auto ftp = own->ftpConnect();
        ftp->retrieve(TIMER_FILE, localPath(QStringLiteral("timer.epl")));
        ftp->quit();
        file = readAll(localPath(QStringLiteral("timer.epl")));
    });
    worker.join();
    EXPECT_EQ(answer, "+ok");
    EXPECT_EQ(file, "list");
}
