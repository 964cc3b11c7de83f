#include "capi/capi_monitor.h"

#include <gtest/gtest.h>

#include "capi_test_fixture.h"

using namespace capitest;

namespace {

constexpr quint32 PLCI_A = 0x101;
constexpr quint32 PLCI_B = 0x201;

class CapiMonitorTest : public CapiFakeDriverTest
{
protected:
    void SetUp() override
    {
        CapiFakeDriverTest::SetUp();
        monitor = std::make_unique<TCapiMonitor>();
        monitor->OnIncomingCall = [this](const QString &calling, const QString &called, quint16 cip,
                                         const QString &cipText) {
            log << QStringLiteral("call %1 %2 %3 %4").arg(calling, called).arg(cip).arg(cipText);
        };
        monitor->OnStateChange = [this](bool canReject, bool canChange) {
            log << QStringLiteral("state %1 %2").arg(int(canReject)).arg(int(canChange));
        };
        monitor->OnDisconnectInfo = [this](quint16 cause, quint16 reason) {
            log << QStringLiteral("disconnect %1 %2").arg(cause, 0, 16).arg(reason, 0, 16);
        };
        monitor->OnDoResetCapi = [this](QObject *sender) {
            EXPECT_EQ(sender, monitor.get());
            log << QStringLiteral("reset");
        };
    }
    void TearDown() override
    {
        monitor.reset();
        CapiFakeDriverTest::TearDown();
    }

    // Starts and waits for the LISTEN_CONF, then forgets the start-up events.
    void start(int rejectTimeOut)
    {
        ASSERT_TRUE(monitor->StartMonitor(1, rejectTimeOut));
        ASSERT_TRUE(QTest::qWaitFor([&] { return log.size() >= 2; }, 5000));
        log.clear();
    }
    // CONNECT_RESP messages as "plci:reject".
    QStringList answers() const
    {
        QStringList r;
        for (const QByteArray &m : fake->sent(0x0283))
            r << QStringLiteral("%1:%2").arg(dwordAt(m, 8), 0, 16).arg(wordAt(m, 12), 0, 16);
        return r;
    }
    QStringList alerts() const
    {
        QStringList r;
        for (const QByteArray &m : fake->sent(0x0180))
            r << QString::number(dwordAt(m, 8), 16);
        return r;
    }

    std::unique_ptr<TCapiMonitor> monitor;
    QStringList log;
};

} // namespace

TEST(CapiMonitorNumber, NormalisesByTypeOfNumber)
{
    struct Case
    {
        const char *name;
        QString digits;
        quint8 type;
        QString reported;
    };
    const Case cases[] = {
        {"NationalGetsZero", QStringLiteral("301234"), 0x21, QStringLiteral("0301234")},
        {"InternationalGetsZero", QStringLiteral("301234"), 0x11, QStringLiteral("0301234")},
        {"InternationalWithZeroStays", QStringLiteral("0301234"), 0x11, QStringLiteral("0301234")},
        {"NationalWithZeroGetsAnother", QStringLiteral("0301234"), 0x21, QStringLiteral("00301234")},
        {"UnknownTypeStays", QStringLiteral("301234"), 0x01, QStringLiteral("301234")},
        {"SubscriberStays", QStringLiteral("301234"), 0x41, QStringLiteral("301234")},
        {"EmptyNational", QString(), 0x21, QString()},
        {"EmptyInternational", QString(), 0x11, QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TCapiMonitor::CallingNumberText(c.digits, c.type), c.reported);
    }
}

TEST_F(CapiMonitorTest, StartListensOnTheController)
{
    EXPECT_EQ(monitor->LastRejectCause(), 0xFFFF);
    EXPECT_EQ(monitor->ErrorString(), QString());
    ASSERT_TRUE(monitor->StartMonitor(1, 0));
    EXPECT_EQ(monitor->Error(), 0u);
    EXPECT_EQ(monitor->ErrorString(), QStringLiteral("OK"));
    EXPECT_EQ(monitor->Controller(), 1u);
    ASSERT_GE(fake->sentCount(), 1);
    EXPECT_EQ(fake->sent().at(0).toHex(' '),
              hex("1d00070005800000 01000000 7f000000 fe03ff1f 00000000 020080 0180").toHex(' '));
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.size() >= 2; }, 5000));
    EXPECT_EQ(log, (QStringList{"state 0 1", "state 0 1"})) << "start, then LISTEN_CONF";
}

TEST_F(CapiMonitorTest, ListenConfErrorOnlyShowsInError)
{
    fake->listenInfo = 0x2002;
    ASSERT_TRUE(monitor->StartMonitor(1, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.size() >= 2; }, 5000));
    EXPECT_EQ(monitor->Error(), 0x2002u);
    EXPECT_EQ(monitor->ErrorString(), QStringLiteral("illegal Controller/PLCI/NCCI ($2002)"));
    fake->deliver(connectInd(PLCI_A, 16, "4711", 0x21, "301234"));
    ASSERT_TRUE(waitForCommand(0x0283, 1)) << "still answers calls";
}

TEST_F(CapiMonitorTest, StartFailures)
{
    SetCapiDriverOpener([] { return std::shared_ptr<CapiDriverApi>(); });
    EXPECT_FALSE(monitor->StartMonitor(1, 0));
    EXPECT_EQ(monitor->Error(), 0x9002u);
    EXPECT_EQ(monitor->ErrorString(), QStringLiteral("File \"CAPI2032.DLL\" not found."));
    EXPECT_EQ(monitor->Engine(), nullptr);
    EXPECT_TRUE(log.isEmpty()) << "no event";

    SetUp();
    fake->setPutResult(0x1101);
    EXPECT_FALSE(monitor->StartMonitor(1, 0));
    EXPECT_EQ(monitor->Error(), 0x1101u);
    EXPECT_EQ(monitor->ErrorString(), QStringLiteral("illegal application number ($1101)"));
    EXPECT_EQ(monitor->Engine(), nullptr);
    EXPECT_EQ(log, QStringList{"state 0 0"});
    EXPECT_EQ(fake->releases(), 1) << "the engine was released again";
}

TEST_F(CapiMonitorTest, IgnoresACallAndReportsIt)
{
    start(0);
    fake->deliver(connectInd(PLCI_A, 16, "4711", 0x21, "301234"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.size() >= 3; }, 5000));
    EXPECT_EQ(log, (QStringList{"state 0 0", "state 0 0", "call 0301234 4711 16 telephony"}));
    ASSERT_EQ(fake->sent(0x0283).size(), 1);
    EXPECT_EQ(fake->sent(0x0283).at(0).toHex(' '),
              hex("1300070002830000 01010000 0100 0000000000").toHex(' '));
    EXPECT_EQ(monitor->LastRejectCause(), 1);

    log.clear();
    fake->deliver(connectInd(PLCI_B, 10, "4712", 0x11, "4930"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.size() >= 3; }, 5000));
    EXPECT_EQ(log.last(), QStringLiteral("call 04930 4712 10 ")) << "CIP 10 has no text";
}

TEST_F(CapiMonitorTest, FailingEventsDoNotKeepTheCallFromBeingAnswered)
{
    start(0);
    monitor->OnRejectCallQuestion = [](const QString &, const QString &, quint16, quint16 &) {
        throw std::runtime_error("question failed");
    };
    monitor->OnStateChange = [](bool, bool) { throw std::runtime_error("state failed"); };
    monitor->OnIncomingCall = [](const QString &, const QString &, quint16, const QString &) {
        throw std::runtime_error("report failed");
    };
    fake->deliver(connectInd(PLCI_A, 16, "4711", 0x21, "301234"));
    fake->deliver(disconnectInd(PLCI_A, 0x3490));
    ASSERT_TRUE(waitForCommand(0x0483, 1));
    EXPECT_EQ(answers(), QStringList{"101:1"});
    EXPECT_EQ(monitor->Engine()->Connections().Count(), 0);
}

TEST_F(CapiMonitorTest, RejectQuestionDecidesAndDisconnectReportsIt)
{
    start(5);
    QStringList asked;
    monitor->OnRejectCallQuestion = [&](const QString &calling, const QString &called, quint16 cip,
                                        quint16 &cause) {
        asked << calling << called << QString::number(cip);
        EXPECT_EQ(cause, 0xFFFF);
        cause = 3;
    };
    fake->deliver(connectInd(PLCI_A, 1, "4711", 0x21, "301234"));
    ASSERT_TRUE(waitForCommand(0x0283, 1));
    EXPECT_EQ(asked, (QStringList{"0301234", "4711", "1"}));
    EXPECT_EQ(answers(), QStringList{"101:3"});
    EXPECT_TRUE(alerts().isEmpty()) << "a decided call is not left alerting";
    EXPECT_EQ(monitor->LastRejectCause(), 3);

    fake->deliver(disconnectInd(PLCI_A, 0x3490));
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.contains(QStringLiteral("reset")); }, 5000));
    EXPECT_EQ(log, (QStringList{"state 0 0", "state 0 0", "call 0301234 4711 1 speech", "disconnect 3 3490",
                                "state 0 1", "reset"}));
}

TEST_F(CapiMonitorTest, CountdownIgnoresTheCallWhenItRunsOut)
{
    start(2);
    fake->deliver(connectInd(PLCI_A, 16, "4711", 0x21, "301234"));
    ASSERT_TRUE(waitForCommand(0x0180, 1));
    EXPECT_EQ(alerts(), QStringList{"101"});
    EXPECT_EQ(fake->sent(0x0180).at(0).size(), 13);
    EXPECT_TRUE(answers().isEmpty());
    ASSERT_TRUE(waitForCommand(0x0283, 1, 10000));
    EXPECT_EQ(answers(), QStringList{"101:1"});
    EXPECT_EQ(log, (QStringList{"state 1 0", "call 0301234 4711 16 telephony", "state 0 0"}));
    monitor->RejectCall(2);
    settle();
    EXPECT_EQ(answers(), QStringList{"101:1"}) << "answered once";
}

TEST_F(CapiMonitorTest, OwnerRejectsDuringTheCountdown)
{
    start(5);
    monitor->OnStateChange = [this](bool canReject, bool) {
        if (canReject)
            monitor->RejectCall(0x3491);
    };
    fake->deliver(connectInd(PLCI_A, 16, "4711", 0x21, "301234"));
    ASSERT_TRUE(waitForCommand(0x0283, 1));
    EXPECT_EQ(alerts(), QStringList{"101"});
    EXPECT_EQ(answers(), QStringList{"101:3491"});
    EXPECT_EQ(monitor->LastRejectCause(), 0x3491);
}

TEST_F(CapiMonitorTest, CallerHangsUpDuringTheCountdown)
{
    start(5);
    fake->deliver(connectInd(PLCI_A, 16, "4711", 0x21, "301234"));
    ASSERT_TRUE(waitForCommand(0x0180, 1));
    fake->deliver(disconnectInd(PLCI_A, 0x3490));
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.contains(QStringLiteral("reset")); }, 5000));
    EXPECT_TRUE(log.contains(QStringLiteral("disconnect ffff 3490")));
    monitor->RejectCall(1); // what the countdown would do: there is no call left to answer
    settle();
    EXPECT_TRUE(answers().isEmpty());
}

TEST_F(CapiMonitorTest, NoDisturbModeAcceptsAndClearsAtOnce)
{
    start(5);
    monitor->SetNoDisturbMode(true);
    fake->deliver(connectInd(PLCI_A, 16, "4711", 0x21, "301234"));
    ASSERT_TRUE(waitForCommand(0x0283, 1));
    EXPECT_TRUE(alerts().isEmpty());
    EXPECT_EQ(fake->sent(0x0283).at(0).toHex(' '),
              hex("1c00070002830000 01010000 0000 09010001000000000000 00000000").toHex(' '));
    EXPECT_EQ(monitor->LastRejectCause(), 0);

    fake->deliver(connectActiveInd(PLCI_A));
    fake->deliver(connectB3Ind(0x10000 | PLCI_A));
    // The rejected B3 connection is cleared before the call; the DISCONNECT_REQ already sent
    // covers both, so none follows the DISCONNECT_B3_IND.
    fake->deliver(disconnectB3Ind(0x10000 | PLCI_A));
    fake->deliver(disconnectInd(PLCI_A, 0x3490));
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.contains(QStringLiteral("reset")); }, 5000));
    EXPECT_EQ(sentSummary().mid(1),
              (QStringList{"0283:101", "0383:101", "8283:10101", "0480:101", "8483:10101", "0483:101"}));
    EXPECT_EQ(wordAt(fake->sent(0x8283).at(0), 12), 2) << "the B3 connection is rejected";
    EXPECT_EQ(log, (QStringList{"state 0 0", "state 0 0", "call 0301234 4711 16 telephony", "state 0 0",
                                "disconnect 0 3490", "state 0 1", "reset"}));
}

// Every offered call gets one answer of its own, also when a second call comes in while the
// first one (ignored and still ringing elsewhere, or waiting for a decision) is still there.
TEST_F(CapiMonitorTest, SecondCallGetsItsOwnAnswer)
{
    start(0);
    fake->deliver(connectInd(PLCI_A, 16, "4711", 0x21, "301234"));
    fake->deliver(connectInd(PLCI_B, 16, "4711", 0x21, "301235"));
    ASSERT_TRUE(waitForCommand(0x0283, 2));
    settle();
    EXPECT_EQ(answers(), (QStringList{"101:1", "201:1"}));
}

TEST_F(CapiMonitorTest, SecondCallDuringTheCountdown)
{
    start(30);
    fake->deliver(connectInd(PLCI_A, 16, "4711", 0x21, "301234"));
    ASSERT_TRUE(waitForCommand(0x0180, 1));
    fake->deliver(connectInd(PLCI_B, 16, "4711", 0x21, "301235"));
    ASSERT_TRUE(waitForCommand(0x0180, 2));
    EXPECT_EQ(answers(), QStringList{"101:1"}) << "the first call stops waiting";
    fake->deliver(disconnectInd(PLCI_A, 0x3490)); // and its caller gives up
    settle();
    EXPECT_EQ(log.last(), QStringLiteral("state 1 0")) << "the second call still waits";
    monitor->RejectCall(3);
    settle();
    EXPECT_EQ(alerts(), (QStringList{"101", "201"}));
    EXPECT_EQ(answers(), (QStringList{"101:1", "201:3"}));
}

TEST_F(CapiMonitorTest, RestartsInsideItsOwnEvents)
{
    start(0);
    monitor->OnDoResetCapi = [this](QObject *) {
        log << QStringLiteral("reset");
        monitor->StartMonitor(1, 0);
    };
    fake->deliver(connectInd(PLCI_A, 16, "4711", 0x21, "301234"));
    fake->deliver(disconnectInd(PLCI_A, 0x3490));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake->registerCalls == 2; }, 5000));
    EXPECT_EQ(fake->releases(), 1);

    monitor->OnIncomingCall = [this](const QString &, const QString &, quint16, const QString &) {
        log << QStringLiteral("call");
        monitor->StartMonitor(1, 0);
    };
    fake->deliver(connectInd(PLCI_B, 16, "4711", 0x21, "301234"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake->registerCalls == 3; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake->releases() == 2; }, 5000));
    EXPECT_EQ(answers(), (QStringList{"101:1", "201:1"}));
}
