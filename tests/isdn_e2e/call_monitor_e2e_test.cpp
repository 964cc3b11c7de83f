// The call monitor through the real CAPI library against the simulated exchange: what goes out
// on the line for each kind of call, and what the monitor reports.

#include <gtest/gtest.h>

#include <QStringList>

#include "capi/capi_monitor.h"
#include "support/simexchange.h"

// Readable failure messages.
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

struct IncomingCall
{
    QString calling;
    QString called;
    quint16 cip = 0;
    QString cipText;
};

class CallMonitorE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        monitor.OnIncomingCall = [this](const QString &calling, const QString &called, quint16 cip,
                                        const QString &cipText) {
            calls.append({calling, called, cip, cipText});
        };
        monitor.OnDisconnectInfo = [this](quint16 cause, quint16 reason) {
            disconnects.append({cause, reason});
        };
        ASSERT_TRUE(monitor.StartMonitor(1, 0)) << monitor.ErrorString().toStdString();
        ASSERT_TRUE(exchange.waitFor(QStringLiteral("LISTEN_REQ"), 1));
    }

    // The caller hangs up; once the DISCONNECT_RESP is back, the monitor has handled every
    // earlier message of the call (the engine hands them over one by one, in order).
    void hangUpAndSettle(quint32 plci, quint16 reason, int disconnectRespsSoFar = 0)
    {
        exchange.hangUp(plci, reason);
        ASSERT_TRUE(exchange.waitFor(QStringLiteral("DISCONNECT_RESP"), disconnectRespsSoFar + 1));
    }

    SimExchange exchange; // first: it points the library at itself before the monitor starts
    TCapiMonitor monitor;
    QList<IncomingCall> calls;
    QList<std::pair<quint16, quint16>> disconnects;
};

TEST_F(CallMonitorE2eTest, ListensOnControllerOneForEveryCip)
{
    const QList<SimExchange::Message> listens = exchange.received(QStringLiteral("LISTEN_REQ"));
    ASSERT_EQ(listens.size(), 1);
    EXPECT_EQ(listens[0].raw.size(), 29);
    EXPECT_EQ(listens[0].raw.mid(8), QByteArray::fromHex("010000007f000000fe03ff1f000000000200800180"));
    const QList<SimExchange::Message> registers = exchange.received(QStringLiteral("REGISTER"));
    ASSERT_EQ(registers.size(), 1);
    EXPECT_EQ(registers[0].fields.value(QStringLiteral("max_b3_connection")).toInt(), 1);
    EXPECT_EQ(registers[0].fields.value(QStringLiteral("max_b3_blks")).toInt(), 2);
    EXPECT_EQ(registers[0].fields.value(QStringLiteral("max_size_b3")).toInt(), 128);
}

// Each offered call is answered once with "ignore" and reported with the normalised number.
TEST_F(CallMonitorE2eTest, CallsAreIgnoredOnceAndReported)
{
    struct Row
    {
        const char *name;
        QString digits;
        quint8 type;
        quint8 presentation;
        quint16 cip;
        QString reported;
        QString cipText;
    };
    const Row rows[] = {
        {"national", QStringLiteral("301234"), 0x21, 0x80, 16, QStringLiteral("0301234"),
         QStringLiteral("telephony")},
        {"international", QStringLiteral("49301234"), 0x11, 0x80, 1, QStringLiteral("049301234"),
         QStringLiteral("speech")},
        {"unknown type", QStringLiteral("301234"), 0x01, 0x80, 16, QStringLiteral("301234"),
         QStringLiteral("telephony")},
        {"withheld", QString(), 0x21, 0xA0, 16, QString(), QStringLiteral("telephony")},
        {"no number at all", QStringLiteral("none"), 0x00, 0x00, 16, QString(), QStringLiteral("telephony")},
    };
    int n = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const SimExchange::PlacedCall call =
            exchange.placeCall(row.digits, row.type, row.presentation, QStringLiteral("41"), row.cip);
        ASSERT_EQ(call.plcis.size(), 1);
        ASSERT_TRUE(exchange.waitFor(QStringLiteral("CONNECT_RESP"), n + 1));
        hangUpAndSettle(call.plcis[0], 0x3490, n);
        ++n;

        const QList<SimExchange::Message> resps = exchange.received(QStringLiteral("CONNECT_RESP"));
        ASSERT_EQ(resps.size(), n) << "exactly one CONNECT_RESP per call";
        EXPECT_EQ(resps.last().fields.value(QStringLiteral("plci")).toInteger(), call.plcis[0]);
        EXPECT_EQ(resps.last().fields.value(QStringLiteral("reject")).toInt(), 1);
        EXPECT_EQ(resps.last().raw.size(), 19);
        ASSERT_EQ(calls.size(), n);
        EXPECT_EQ(calls.last().calling, row.reported);
        EXPECT_EQ(calls.last().called, QStringLiteral("41"));
        EXPECT_EQ(calls.last().cip, row.cip);
        EXPECT_EQ(calls.last().cipText, row.cipText);
        ASSERT_EQ(disconnects.size(), n);
        EXPECT_EQ(disconnects.last(), std::make_pair(quint16{1}, quint16{0x3490}));
    }
    EXPECT_TRUE(exchange.received(QStringLiteral("ALERT_REQ")).isEmpty());
}

// A second call while the first still rings at other telephones: both get one answer each.
TEST_F(CallMonitorE2eTest, OverlappingCallsEachGetOneAnswer)
{
    const quint32 first =
        exchange.placeCall(QStringLiteral("301234"), 0x21, 0x80, QStringLiteral("41"), 16).plcis.at(0);
    ASSERT_TRUE(exchange.waitFor(QStringLiteral("CONNECT_RESP"), 1));
    const quint32 second =
        exchange.placeCall(QStringLiteral("305678"), 0x21, 0x80, QStringLiteral("42"), 16).plcis.at(0);
    ASSERT_TRUE(exchange.waitFor(QStringLiteral("CONNECT_RESP"), 2));
    hangUpAndSettle(first, 0x3490);
    hangUpAndSettle(second, 0x3490, 1);

    QList<qint64> answered;
    for (const SimExchange::Message &m : exchange.received(QStringLiteral("CONNECT_RESP")))
        answered << m.fields.value(QStringLiteral("plci")).toInteger();
    EXPECT_EQ(answered, (QList<qint64>{first, second}));
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[1].calling, QStringLiteral("0305678"));
}

// Do-not-disturb: the call is taken and cleared at once, so the telephones stop ringing.
TEST_F(CallMonitorE2eTest, NoDisturbModeTakesAndClearsTheCall)
{
    monitor.SetNoDisturbMode(true);
    exchange.placeCall(QStringLiteral("301234"), 0x21, 0x80, QStringLiteral("41"), 16);
    ASSERT_TRUE(exchange.waitFor(QStringLiteral("DISCONNECT_RESP"), 1));

    // One DISCONNECT_REQ clears the call: the DISCONNECT_B3_IND that the rejected B3 connection
    // brings must not draw a second one (the exchange would refuse it, and the refusal would show
    // in the monitor's Error).
    EXPECT_EQ(exchange.received(QStringLiteral("DISCONNECT_REQ")).size(), 1);
    EXPECT_EQ(exchange.received(QStringLiteral("CONNECT_ACTIVE_RESP")).size(), 1);
    const QList<SimExchange::Message> resps = exchange.received(QStringLiteral("CONNECT_RESP"));
    ASSERT_EQ(resps.size(), 1);
    EXPECT_EQ(resps[0].fields.value(QStringLiteral("reject")).toInt(), 0);
    const QList<SimExchange::Message> b3 = exchange.received(QStringLiteral("CONNECT_B3_RESP"));
    ASSERT_EQ(b3.size(), 1);
    EXPECT_EQ(b3[0].fields.value(QStringLiteral("reject")).toInt(), 2);
    ASSERT_EQ(disconnects.size(), 1);
    EXPECT_EQ(disconnects[0].first, 0);
    EXPECT_TRUE(exchange.command("calls").value(QStringLiteral("calls")).toObject().isEmpty());
}

// The exchange goes away and comes back: the engine survives the lost link, the monitor can be
// restarted and calls arrive again.
TEST_F(CallMonitorE2eTest, RestartsAfterTheExchangeWentAway)
{
    exchange.kill();
    SimExchange again; // same port: the library keeps the one it read at its first call
    ASSERT_TRUE(monitor.StartMonitor(1, 0)) << monitor.ErrorString().toStdString();
    ASSERT_TRUE(again.waitFor(QStringLiteral("LISTEN_REQ"), 1));
    const quint32 plci =
        again.placeCall(QStringLiteral("301234"), 0x21, 0x80, QStringLiteral("41"), 16).plcis.at(0);
    ASSERT_TRUE(again.waitFor(QStringLiteral("CONNECT_RESP"), 1));
    again.hangUp(plci, 0x3490);
    ASSERT_TRUE(again.waitFor(QStringLiteral("DISCONNECT_RESP"), 1));
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].calling, QStringLiteral("0301234"));
}

} // namespace
