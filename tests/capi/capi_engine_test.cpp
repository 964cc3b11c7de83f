#include "capi/capi_engine.h"

#include <gtest/gtest.h>

#include <QThread>

#include "capi_test_fixture.h"

using namespace capitest;

namespace {

class CapiEngineTest : public CapiFakeDriverTest
{
protected:
    // Records every OnMessage call as "cmd conn-number" and checks it runs on this thread.
    void record(TCapi &engine)
    {
        engine.OnMessage = [this](TConnection *c, TCapiMessage &m, bool &respond) {
            EXPECT_EQ(QThread::currentThread(), qApp->thread());
            events
                << QStringLiteral("%1 %2").arg(m.Command(), 4, 16, QLatin1Char('0')).arg(c ? c->Number : 0);
            respond = respondValue;
        };
    }
    QStringList events;
    bool respondValue = true;
};

} // namespace

TEST(CapiConnections, NumbersAndLookUps)
{
    TConnections list;
    TConnection *a = list.Add();
    TConnection *b = list.Add();
    EXPECT_EQ(a->Number, 1);
    EXPECT_EQ(b->Number, 2);
    a->SetPLCI(0x0201);
    a->NCCI = 0x10201;
    a->Owner = &list;
    EXPECT_EQ(a->ControllerNumber, 1u);
    EXPECT_EQ(list.FindByPLCI(0x0201), a);
    EXPECT_EQ(list.FindByNCCI(0x10201), a);
    EXPECT_EQ(list.FindByNumber(2), b);
    EXPECT_EQ(list.FindByOwner(&list), a);
    EXPECT_EQ(list.FindByPLCI(0x0301), nullptr);

    b->Number = 0x7FFFFFFE;
    EXPECT_EQ(list.Add()->Number, 1) << "numbers wrap after 0x7FFFFFFE";

    TConnection *ref = a;
    list.Remove(ref);
    EXPECT_EQ(ref, nullptr);
    EXPECT_EQ(list.Count(), 2);
    TConnection *stale = a;
    EXPECT_FALSE(list.Contains(stale));
    EXPECT_EQ(stale, nullptr);
    TConnection *live = b;
    EXPECT_TRUE(list.Contains(live));
    EXPECT_EQ(live, b);
}

TEST(CapiConnections, DataQueue)
{
    TB3DataQueue q;
    q.Append(1, "one");
    q.Append(2, "two");
    q.Append(2, "again");
    q.Items(0).Sent = true;
    EXPECT_EQ(q.SentCount(), 1);
    q.RemoveByHandle(2);
    ASSERT_EQ(q.Count(), 2);
    EXPECT_EQ(q.Items(1).Data, QByteArray("again"));
    q.RemoveByHandle(9);
    EXPECT_EQ(q.Count(), 2);
    q.Clear();
    EXPECT_EQ(q.Count(), 0);
}

TEST_F(CapiEngineTest, RegistersAndReleasesWithTheWakeUpListen)
{
    {
        TCapi engine(1, 2, 128);
        EXPECT_TRUE(engine.Registered());
        EXPECT_EQ(engine.Error(), 0u);
        EXPECT_EQ(engine.ErrorText(), QString());
        EXPECT_EQ(engine.ApplID(), 7u);
        EXPECT_EQ(fake->registerArgs, (std::vector<unsigned>{2048, 1, 2, 128}));
    }
    ASSERT_EQ(fake->sentCount(), 1);
    EXPECT_EQ(fake->sent().at(0).toHex(' '),
              hex("1a00070005800000 01000000 7f000000 02000000 00000000 00 00").toHex(' '));
    EXPECT_EQ(fake->releases(), 1);
}

TEST_F(CapiEngineTest, RegistrationFailures)
{
    struct Case
    {
        const char *name;
        std::function<void()> arrange;
        quint32 error;
        QString text;
    };
    const Case cases[] = {
        {"LibraryMissing", [] { SetCapiDriverOpener([] { return std::shared_ptr<CapiDriverApi>(); }); },
         0x9002, QStringLiteral("File \"CAPI2032.DLL\" not found.")},
        {"DriverNotInstalled", [this] { fake->installedResult = 0x1009; }, 0x9003,
         QStringLiteral("CAPI 2.0 (32 Bit) not installed.")},
        {"RegisterRefused", [this] { fake->registerResult = 0x1001; }, 0x1001,
         QStringLiteral("too many applications ($1001)")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<FakeCapiDriver>();
        SetUp();
        c.arrange();
        {
            TCapi engine(1, 2, 128);
            EXPECT_FALSE(engine.Registered());
            EXPECT_EQ(engine.Error(), c.error);
            EXPECT_EQ(engine.ErrorText(), c.text);
        }
        EXPECT_EQ(fake->releases(), 0) << "no release without a registration";
        EXPECT_EQ(fake->sentCount(), 0);
    }
}

TEST_F(CapiEngineTest, AnswersEachIndicationOfAnIncomingCall)
{
    TCapi engine(1, 2, 128);
    record(engine);
    int resets = 0;
    engine.OnReset = [&](TCapi *sender) {
        EXPECT_EQ(sender, &engine);
        ++resets;
    };

    fake->deliver(connectInd(0x101, 16, "4711", 0x21, "301234"));
    settle();
    ASSERT_EQ(engine.Connections().Count(), 1);
    TConnection *c = engine.Connections().Items(0);
    EXPECT_EQ(c->State, csCallPending);
    EXPECT_EQ(c->Direction, 2);
    EXPECT_EQ(c->PLCI, 0x101u);

    fake->deliver(connectActiveInd(0x101));
    fake->deliver(connectB3Ind(0x10101));
    fake->deliver(connectB3ActiveInd(0x10101));
    settle();
    EXPECT_EQ(c->State, csB3Active);
    EXPECT_EQ(c->NCCI, 0x10101u);
    fake->deliver(dataB3Ind(0x10101, 0x1234));
    fake->deliver(message(0x0882, 0, le32(0x101) + le16(0x28) + hex("00")));
    fake->deliver(message(0x8082, 0, le32(0x101) + le16(3) + hex("00")));
    fake->deliver(message(0x8782, 0, le32(0x10101) + hex("00")));
    fake->deliver(message(0x8882, 0, le32(0x10101) + hex("00")));
    fake->deliver(disconnectB3Ind(0x10101));
    settle();
    EXPECT_EQ(c->State, csB3Disconnected);
    EXPECT_EQ(c->DisconnectInitiator, 2);
    fake->deliver(disconnectInd(0x101, 0x3490));
    settle();
    EXPECT_EQ(engine.Connections().Count(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return resets > 0; }, 5000));

    EXPECT_EQ(sentSummary(), (QStringList{"0383:101", "8283:10101", "8383:10101", "8683:10101", "0883:101",
                                          "8083:101", "8783:10101", "8883:10101", "8483:10101", "0483:101"}));
    EXPECT_EQ(fake->sent(0x8683).at(0).mid(12, 2), le16(0x1234)) << "DATA_B3_RESP carries the handle";
    EXPECT_EQ(fake->sent(0x8083).at(0).mid(12, 2), le16(3)) << "FACILITY_RESP carries the selector";
    EXPECT_EQ(fake->sent(0x8283).at(0).mid(12, 2), le16(0)) << "CONNECT_B3_RESP accepts";
    EXPECT_EQ(events, (QStringList{"0282 1", "0382 1", "8282 1", "8382 1", "8682 1", "0882 1", "8082 0",
                                   "8782 1", "8882 1", "8482 1", "0482 1"}));
    QCoreApplication::processEvents();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(fake->emptyGets(), 0) << "a message is fetched only after the wait said one is there";
}

TEST_F(CapiEngineTest, IndicationsForUnknownConnectionsAreDropped)
{
    TCapi engine(1, 2, 128);
    record(engine);
    int resets = 0;
    engine.OnReset = [&](TCapi *) { ++resets; };
    fake->deliver(connectActiveInd(0x301));
    fake->deliver(connectB3Ind(0x10301));
    fake->deliver(connectB3ActiveInd(0x10301));
    fake->deliver(disconnectB3Ind(0x10301));
    fake->deliver(dataB3Ind(0x10301, 1));
    fake->deliver(disconnectInd(0x301, 0x3490));
    settle();
    EXPECT_EQ(sentSummary(), QStringList{"0483:301"}) << "only the DISCONNECT_IND is answered";
    EXPECT_TRUE(events.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(resets, 0);
}

// The length field of a received message comes from the line. One that claims more than the
// driver's receive buffer holds must not make the engine read past that buffer.
TEST_F(CapiEngineTest, LengthFieldBeyondTheDriverBufferIsNotBelieved)
{
    TCapi engine(1, 2, 128);
    QString calling;
    engine.OnMessage = [&](TConnection *, TCapiMessage &m, bool &) {
        if (m.Command() == capiConnectInd)
            calling = static_cast<TConnectInd &>(m).CallingPartyNumber.Digits;
    };
    QByteArray boasting = connectInd(0x101, 16, "4711", 0x21, "301234");
    boasting[0] = char(0xFF);
    boasting[1] = char(0xFF);
    fake->deliver(boasting);
    fake->deliver(disconnectInd(0x101, 0x3490));
    settle();
    EXPECT_EQ(calling, QStringLiteral("301234"));
    EXPECT_EQ(engine.Connections().Count(), 0);
    EXPECT_EQ(sentSummary(), QStringList{"0483:101"});
}

TEST_F(CapiEngineTest, RespondFalseKeepsTheEngineFromAnswering)
{
    TCapi engine(1, 2, 128);
    record(engine);
    fake->deliver(connectInd(0x101, 16, "4711", 0x21, "301234"));
    fake->deliver(connectActiveInd(0x101));
    settle();
    respondValue = false;
    fake->deliver(connectB3Ind(0x10101));
    fake->deliver(connectB3ActiveInd(0x10101));
    fake->deliver(dataB3Ind(0x10101, 9));
    settle();
    EXPECT_EQ(sentSummary(), (QStringList{"0383:101", "8383:10101"}));
}

TEST_F(CapiEngineTest, DisconnectClearsB3FirstThenTheCall)
{
    TCapi engine(1, 2, 128);
    record(engine);
    fake->deliver(connectInd(0x101, 16, "4711", 0x21, "301234"));
    fake->deliver(connectActiveInd(0x101));
    fake->deliver(connectB3Ind(0x10101));
    fake->deliver(connectB3ActiveInd(0x10101));
    settle();
    TConnection *c = engine.Connections().Items(0);
    ASSERT_EQ(c->State, csB3Active);
    EXPECT_TRUE(engine.Disconnect(c));
    EXPECT_EQ(c->DisconnectInitiator, 1);
    fake->deliver(message(0x8481, 0, le32(0x10101) + le16(0)));
    settle();
    EXPECT_EQ(c->State, csB3Disconnecting);
    fake->deliver(disconnectB3Ind(0x10101));
    settle();
    EXPECT_EQ(sentSummary().mid(3), (QStringList{"8480:10101", "8483:10101", "0480:101"}));

    TConnection *gone = nullptr;
    EXPECT_FALSE(engine.Disconnect(gone));
}

TEST_F(CapiEngineTest, ConfirmationErrorIsVisibleInTheHandler)
{
    TCapi engine(1, 2, 128);
    quint32 seen = 0;
    engine.OnMessage = [&](TConnection *, TCapiMessage &, bool &) { seen = engine.Error(); };
    fake->deliver(message(0x0181, 0, le32(0x101) + le16(0x2002)));
    settle();
    EXPECT_EQ(seen, 0x2002u);
    EXPECT_EQ(engine.Error(), 0u) << "the marker's own response cleared it";
}

TEST_F(CapiEngineTest, AFailedPutIsReportedThroughError)
{
    TCapi engine(1, 2, 128);
    fake->setPutResult(0x1103);
    EXPECT_FALSE(engine.PutMessage(TAlertReq(0x101)));
    EXPECT_EQ(engine.Error(), 0x1103u);
    fake->setPutResult(0);
    EXPECT_TRUE(engine.PutMessage(TAlertReq(0x101)));
    EXPECT_EQ(engine.Error(), 0u);
}

TEST_F(CapiEngineTest, AThrowingHandlerDoesNotStopTheEngine)
{
    TCapi engine(1, 2, 128);
    engine.OnMessage = [](TConnection *, TCapiMessage &, bool &) {
        throw std::runtime_error("handler failed");
    };
    fake->deliver(connectInd(0x101, 16, "4711", 0x21, "301234"));
    fake->deliver(disconnectInd(0x101, 0x3490));
    settle();
    EXPECT_EQ(engine.Connections().Count(), 0) << "the call's end still removes its connection";
    EXPECT_EQ(sentSummary(), QStringList{"0483:101"});
}

TEST_F(CapiEngineTest, ResetNoticeComesAfterTheHandOverAndMayDestroyTheEngine)
{
    auto engine = std::make_unique<TCapi>(1, 2, 128);
    bool inHandler = false;
    bool resetInsideHandler = false;
    engine->OnMessage = [&](TConnection *, TCapiMessage &, bool &) {
        inHandler = true;
        QCoreApplication::processEvents(); // even a handler that spins the loop must not see it
        inHandler = false;
    };
    int resets = 0;
    engine->OnReset = [&](TCapi *) {
        resetInsideHandler = resetInsideHandler || inHandler;
        ++resets;
        engine.reset(); // the owner starts over here
    };
    fake->deliver(connectInd(0x101, 16, "4711", 0x21, "301234"));
    fake->deliver(disconnectInd(0x101, 0x3490));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine; }, 5000));
    EXPECT_EQ(resets, 1);
    EXPECT_FALSE(resetInsideHandler);
    EXPECT_EQ(fake->releases(), 1);
}

TEST_F(CapiEngineTest, SendsQueuedBlocksWithinTheWindow)
{
    TCapi engine(1, 2, 128);
    record(engine);
    TConnection *c = engine.Connections().Add();
    c->SetPLCI(0x101);
    c->NCCI = 0x10101;
    c->State = csB3Active;
    c->Queue.Append(1, "first");
    c->Queue.Append(2, "second");
    c->Queue.Append(3, "third");
    QList<bool> ends;
    engine.OnTransferEnd = [&](TConnection *, bool success) { ends << success; };

    EXPECT_TRUE(engine.ContinueTransfer(c));
    EXPECT_EQ(fake->sent(0x8680).size(), 2) << "two blocks in flight";
    EXPECT_TRUE(c->Sending);
    fake->deliver(message(0x8681, 0, le32(0x10101) + le16(1) + le16(0)));
    settle();
    EXPECT_EQ(fake->sent(0x8680).size(), 3);
    fake->deliver(message(0x8681, 0, le32(0x10101) + le16(2) + le16(0)));
    fake->deliver(message(0x8681, 0, le32(0x10101) + le16(3) + le16(0)));
    settle();
    EXPECT_EQ(c->Queue.Count(), 0);
    EXPECT_FALSE(c->Sending);
    ASSERT_FALSE(ends.isEmpty());
    EXPECT_TRUE(ends.first());

    const QByteArray req = fake->sent(0x8680).at(0);
    EXPECT_EQ(wordAt(req, 16), 5) << "data length";
    EXPECT_EQ(wordAt(req, 18), 1) << "data handle";
    if (sizeof(void *) > 4) {
        EXPECT_EQ(req.size(), 30);
    }
}

// A lost link makes the driver say "ready" at once while it has nothing to give. The thread must
// back off instead of spinning: a spinning loop would fetch hundreds of thousands of times while
// the test waits for the first few fetches.
TEST_F(CapiEngineTest, BacksOffWhenTheLinkIsLost)
{
    auto engine = std::make_unique<TCapi>(1, 2, 128);
    fake->setLostLink(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake->gets() >= 6; }, 10000));
    EXPECT_LT(fake->gets(), 100);
    fake->setLostLink(false);
    engine.reset();
    EXPECT_EQ(fake->releases(), 1);
}

// A driver whose wait returns neither on its own nor on the wake-up LISTEN_CONF: release must
// still end, by releasing the application after the bound.
TEST_F(CapiEngineTest, ReleaseEndsEvenWhenTheWaitDoesNotReturn)
{
    fake->answerListen = false;
    fake->waitIgnoresTimeout = true;
    auto engine = std::make_unique<TCapi>(1, 2, 128);
    ASSERT_TRUE(engine->Registered());
    // The wait is counted and entered under one lock: once counted, the thread is inside it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake->waits() >= 1; }, 5000));
    engine.reset();
    EXPECT_EQ(fake->releases(), 1);
}
