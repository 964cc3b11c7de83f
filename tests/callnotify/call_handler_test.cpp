#include "callnotify/call_handler.h"

#include "app/box_client.h"
#include "app/curl_box_client.h"
#include "callnotify/phone_book.h"
#include "common/activity_log.h"
#include "common/error.h"
#include "outlook/vcard_outlook.h"
#include "support/simbox.h"

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray &bytes, std::ostream *out)
{
    *out << '"' << bytes.toStdString() << '"';
}

namespace {

// Records every request; fails them on demand as an unreachable box would.
class FakeBox final : public BoxClient
{
public:
    QString address() const override { return QStringLiteral("192.0.2.1"); }
    QByteArray httpGet(const QByteArray &target, AfterRequest after) override
    {
        targets.append(target);
        closed.append(after == AfterRequest::Close);
        if (fail)
            throw TransferError(QStringLiteral("Die Box 192.0.2.1 antwortet nicht: Connection refused"), 7);
        return "+ok";
    }
    std::unique_ptr<FtpSession> ftpConnect() override
    {
        throw TransferError(QStringLiteral("no FTP here"), 0);
    }

    QList<QByteArray> targets;
    QList<bool> closed;
    bool fail = false;
};

// A small address book: a known caller, a name with "&", two lines as a name.
const QByteArray contacts = "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                            "FN;CHARSET=Windows-1252;ENCODING=QUOTED-PRINTABLE:B=E4ckerei Gro=DF\r\n"
                            "TEL;HOME;VOICE:0301234567\r\nEND:VCARD\r\n"
                            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:M\xc3\xbcller & S\xc3\xb6hne\r\n"
                            "TEL;TYPE=HOME:0711999\r\nEND:VCARD\r\n";

constexpr int FullNameChoice = 28;
constexpr int HomePhoneChoice = 6;

struct View
{
    std::map<CallLabel, QString> labels;
    QString findNumber;
    QString balloonText;
    QPoint balloonAt;
    int balloonsShown = 0;
    int balloonsHidden = 0;
    bool timerEnabled = false;
    int timerInterval = -1;

    CallView callbacks()
    {
        CallView v;
        v.setLabel = [this](CallLabel label, const QString &text) { labels[label] = text; };
        v.callLabelText = [this] { return labels[CallLabel::lblrufnummer]; };
        v.setFindNumber = [this](const QString &text) { findNumber = text; };
        v.showBalloon = [this](const QPoint &at, const QString &text) {
            balloonAt = at;
            balloonText = text;
            ++balloonsShown;
        };
        v.hideBalloon = [this] { ++balloonsHidden; };
        v.setTimer1Enabled = [this](bool on) { timerEnabled = on; };
        v.setTimer1Interval = [this](int ms) { timerInterval = ms; };
        return v;
    }
};

class CallHandlerTest : public ::testing::Test
{
protected:
    CallHandlerTest()
    {
        settings.edtMsn = QStringLiteral("41");
        settings.edtTime = QStringLiteral("10");
        settings.chkMsgOnPC = true;
        settings.edtSpinX = 30;
        settings.edtSpinY = 40;
    }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QFile file(dir.filePath(QStringLiteral("kontakte.vcf")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contacts);
        file.close();
        VCardOutlook source([&] { return file.fileName(); });
        book.ReadTelefonnumber(source, FullNameChoice, QStringLiteral("FullName "), HomePhoneChoice);
        ASSERT_EQ(book.rows().size(), 2);
    }

    CallHandler makeHandler(BoxClient &client)
    {
        CallHandler handler([this] { return settings; }, CallerFields{callerNumber, callerName, calledNumber},
                            book, client, log);
        handler.setView(view.callbacks());
        return handler;
    }

    bool logged() const { return log.lines().size() > 1; }

    QTemporaryDir dir;
    PhoneBook book;
    CallSettings settings;
    QString callerNumber;
    QString callerName;
    QString calledNumber;
    ActivityLog log;
    View view;
    FakeBox box;
};

const QByteArray prefix10 = "/cgi-bin/xmessage?timeout=10&caption=Ein%20Anruf%20kommt...&body=Anrufer:%20";

} // namespace

TEST_F(CallHandlerTest, AnnouncesCallsOnTheTv)
{
    struct Case
    {
        const char *name;
        QString calling;
        QString called;
        std::function<void(CallSettings &)> adjust;
        QList<QByteArray> targets;
    };
    const auto none = [](CallSettings &) {};
    const Case cases[] = {
        {"KnownCaller", "0301234567", "41", none, {prefix10 + "0301234567%20:%20Baeckerei%20Gross"}},
        {"UnknownCaller",
         "0401111111",
         "41",
         none,
         {prefix10 + "0401111111%20:%20kein%20Name%20im%20Telefonbuch"}},
        {"WithheldNumber", "", "41", none, {prefix10 + "keine%20Nummer%20:%20???"}},
        {"NameWithAmpersand", "0711999", "41", none, {prefix10 + "0711999%20:%20Mueller%20%26%20Soehne"}},
        {"NumberThatWouldBreakTheRequest",
         "030\r\n&x=1",
         "41",
         none,
         {prefix10 + "030%0D%0A%26x%3D1%20:%20kein%20Name%20im%20Telefonbuch"}},
        {"AllMsnOffOtherMsn", "0301234567", "42", [](CallSettings &s) { s.chkAllMsn = false; }, {}},
        {"AllMsnOffOwnMsn",
         "0301234567",
         "41",
         [](CallSettings &s) { s.chkAllMsn = false; },
         {prefix10 + "0301234567%20:%20Baeckerei%20Gross"}},
        {"AllMsnOffEmptyMsnMatchesEmptyCalled",
         "0301234567",
         "",
         [](CallSettings &s) {
             s.chkAllMsn = false;
             s.edtMsn.clear();
         },
         {prefix10 + "0301234567%20:%20Baeckerei%20Gross"}},
        {"ActiveOff", "0301234567", "41", [](CallSettings &s) { s.chkActive = false; }, {}},
        {"MessageTimeZero",
         "0301234567",
         "41",
         [](CallSettings &s) { s.edtTime = QStringLiteral("0"); },
         {"/cgi-bin/xmessage?timeout=0&caption=Ein%20Anruf%20kommt...&body=Anrufer:%200301234567%20:%20"
          "Baeckerei%20Gross"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const CallSettings saved = settings;
        c.adjust(settings);
        box.targets.clear();
        view = View();
        log.addRaw(QStringLiteral("-"));
        const qsizetype linesBefore = log.lines().size();
        CallHandler handler = makeHandler(box);

        handler.CapiMonitor1IncomingCall(c.calling, c.called, 16);

        EXPECT_EQ(box.targets, c.targets);
        EXPECT_EQ(view.labels[CallLabel::lblrufnummer], c.calling);
        EXPECT_EQ(view.labels[CallLabel::lblMsn], c.called);
        EXPECT_FALSE(view.labels[CallLabel::lblTime].isEmpty());
        EXPECT_EQ(view.findNumber, c.calling);
        EXPECT_EQ(calledNumber, c.called);
        const bool sent = !c.targets.isEmpty();
        EXPECT_EQ(view.timerEnabled, sent);
        EXPECT_EQ(view.balloonsShown, sent ? 1 : 0);
        // Every call is logged, announced or not.
        ASSERT_EQ(log.lines().size(), linesBefore + 1);
        EXPECT_TRUE(log.lines().last().startsWith(QStringLiteral("Incoming Call ... Number : ") + c.calling +
                                                  QStringLiteral("  MSN : ") + c.called +
                                                  QStringLiteral("  ")));
        settings = saved;
    }
    EXPECT_TRUE(std::all_of(box.closed.begin(), box.closed.end(), [](bool closed) { return closed; }));
}

TEST_F(CallHandlerTest, ShowsTheBalloonWithTheLabelAndThePreparedName)
{
    CallHandler handler = makeHandler(box);
    handler.CapiMonitor1IncomingCall(QStringLiteral("0301234567"), QStringLiteral("41"), 16);
    EXPECT_EQ(view.balloonText, QStringLiteral("Ein Anruf kommt ...\r\nNr : 0301234567, Baeckerei%20Gross"));
    EXPECT_EQ(view.balloonAt, QPoint(30, 40));
    EXPECT_EQ(callerNumber, QStringLiteral("0301234567"));
    EXPECT_EQ(callerName, QStringLiteral("Baeckerei%20Gross"));

    handler.CapiMonitor1IncomingCall(QString(), QStringLiteral("41"), 16);
    EXPECT_EQ(view.balloonText, QStringLiteral("Ein Anruf kommt ...\r\nNr : , ???"));
    EXPECT_EQ(callerNumber, QStringLiteral("keine%20Nummer"));
    EXPECT_EQ(callerName, QStringLiteral("???"));

    settings.chkMsgOnPC = false;
    handler.CapiMonitor1IncomingCall(QStringLiteral("0301234567"), QStringLiteral("41"), 16);
    EXPECT_EQ(view.balloonsShown, 2);
    EXPECT_TRUE(view.timerEnabled);
}

TEST_F(CallHandlerTest, FailedRequestEndsTheCallHandlingSilently)
{
    box.fail = true;
    CallHandler handler = makeHandler(box);
    const qsizetype linesBefore = log.lines().size();
    EXPECT_NO_THROW(handler.CapiMonitor1IncomingCall(QStringLiteral("0301234567"), QStringLiteral("41"), 16));
    EXPECT_EQ(box.targets.size(), 1);
    EXPECT_EQ(view.balloonsShown, 0);
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_EQ(log.lines().size(), linesBefore);
    EXPECT_EQ(view.labels[CallLabel::lblrufnummer], QStringLiteral("0301234567"));
}

TEST_F(CallHandlerTest, SearchByHandReportsTheFailedRequest)
{
    box.fail = true;
    CallHandler handler = makeHandler(box);
    EXPECT_THROW(handler.SucheNummer(QStringLiteral("0301234567")), TransferError);
    EXPECT_EQ(callerName, QStringLiteral("Baeckerei%20Gross"));
    EXPECT_EQ(view.balloonsShown, 0);
}

TEST_F(CallHandlerTest, SearchByHandBeforeAnyCallWithMsnFilterSendsNothing)
{
    settings.chkAllMsn = false;
    CallHandler handler = makeHandler(box);
    handler.SucheNummer(QStringLiteral("0301234567"));
    EXPECT_TRUE(box.targets.isEmpty());
    // A match still sets the caller for the next message.
    EXPECT_EQ(callerNumber, QStringLiteral("0301234567"));
    EXPECT_EQ(callerName, QStringLiteral("Baeckerei%20Gross"));
}

TEST_F(CallHandlerTest, NoMatchKeepsThePreviousCaller)
{
    CallHandler handler = makeHandler(box);
    handler.SucheNummer(QStringLiteral("0301234567"));
    handler.SucheNummer(QStringLiteral("0999"));
    EXPECT_EQ(callerNumber, QStringLiteral("0301234567"));
    EXPECT_EQ(callerName, QStringLiteral("Baeckerei%20Gross"));
    EXPECT_EQ(box.targets.last(), prefix10 + "0301234567%20:%20Baeckerei%20Gross");
}

TEST_F(CallHandlerTest, Timer1ResetsLabelsAndInterval)
{
    struct Case
    {
        const char *name;
        QString time;
        int interval;
    };
    const Case cases[] = {
        {"Seconds", QStringLiteral("10"), 10000},
        {"Empty", QString(), 0},
        {"NotANumber", QStringLiteral("zehn"), 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        settings.edtTime = c.time;
        view = View();
        view.timerEnabled = true;
        view.labels[CallLabel::lblrufnummer] = QStringLiteral("0301234567");
        CallHandler handler = makeHandler(box);
        handler.Timer1Timer();
        EXPECT_EQ(view.balloonsHidden, 1);
        EXPECT_FALSE(view.timerEnabled);
        EXPECT_EQ(view.timerInterval, c.interval);
        EXPECT_EQ(view.labels[CallLabel::lblrufnummer], QStringLiteral("-- waiting ... --"));
        for (const CallLabel label :
             {CallLabel::lblTime, CallLabel::lblMsn, CallLabel::lblUnreadMails, CallLabel::lblUnreadMailTime})
            EXPECT_EQ(view.labels[label], QStringLiteral("------"));
    }
}

// Through the real box client to the simulated box: what the TV shows.
TEST_F(CallHandlerTest, SimulatedBoxShowsTheCaller)
{
    std::unique_ptr<SimBox> simBox;
    try {
        simBox = std::make_unique<SimBox>();
    } catch (const std::exception &error) {
        GTEST_SKIP() << "simulated box not available: " << error.what();
    }
    const auto client = makeCurlBoxClient([&] { return simBox->address(); });
    CallHandler handler = makeHandler(*client);

    handler.CapiMonitor1IncomingCall(QStringLiteral("0711999"), QStringLiteral("41"), 16);
    ASSERT_EQ(simBox->requests().size(), 1);
    const QJsonObject message = simBox->state().value(QStringLiteral("message")).toObject();
    EXPECT_EQ(message.value(QStringLiteral("caption")).toString(), QStringLiteral("Ein Anruf kommt..."));
    // The "&" of the name reaches the TV instead of cutting the message short.
    EXPECT_EQ(message.value(QStringLiteral("body")).toString(),
              QStringLiteral("Anrufer: 0711999 : Mueller & Soehne"));
    EXPECT_EQ(message.value(QStringLiteral("timeout")).toVariant().toString(), QStringLiteral("10"));
    EXPECT_TRUE(logged());
}

TEST_F(CallHandlerTest, UnreachableBoxLeavesNoLogLine)
{
    // Nothing listens on port 1 of the loopback address: the connection is refused at once.
    const auto client = makeCurlBoxClient([] { return QStringLiteral("127.0.0.1:1"); });
    CallHandler handler = makeHandler(*client);
    EXPECT_NO_THROW(handler.CapiMonitor1IncomingCall(QStringLiteral("0301234567"), QStringLiteral("41"), 16));
    EXPECT_FALSE(logged());
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_THROW(handler.SucheNummer(QStringLiteral("0301234567")), TransferError);
}
