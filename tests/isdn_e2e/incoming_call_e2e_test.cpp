// An incoming call from the line to the TV: simulated exchange -> real CAPI library -> call
// monitor -> call handler -> box client -> simulated box.

#include <gtest/gtest.h>

#include <QStringList>

#include "app/curl_box_client.h"
#include "callnotify/call_handler.h"
#include "callnotify/phone_book.h"
#include "capi/capi_monitor.h"
#include "common/activity_log.h"
#include "support/simbox.h"
#include "support/simexchange.h"

// Readable failure messages.
void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toStdString() << '"';
}

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

class IncomingCallE2eTest : public ::testing::Test
{
protected:
    IncomingCallE2eTest()
        : client(makeCurlBoxClient([this] { return box.address(); })),
          handler([this] { return settings; }, CallerFields{callerNumber, callerName, calledNumber},
                  phoneBook, *client, log)
    {
        settings.edtTime = QStringLiteral("10");
        monitor.OnIncomingCall = [this](const QString &calling, const QString &called, quint16 cip,
                                        const QString &) {
            handler.CapiMonitor1IncomingCall(calling, called, cip);
        };
    }

    void SetUp() override
    {
        ASSERT_TRUE(monitor.StartMonitor(1, 0)) << monitor.ErrorString().toStdString();
        ASSERT_TRUE(exchange.waitFor(QStringLiteral("LISTEN_REQ"), 1));
    }

    // Places a call and lets the caller hang up. Once the DISCONNECT_RESP is back the whole
    // handling of the call (box request included) has run: the engine hands the messages
    // over one at a time, in order.
    void call(const QString &calling, quint8 type, quint8 presentation, const QString &called)
    {
        const SimExchange::PlacedCall placed = exchange.placeCall(calling, type, presentation, called, 16);
        ASSERT_EQ(placed.plcis.size(), 1);
        ASSERT_TRUE(exchange.waitFor(QStringLiteral("CONNECT_RESP"), 1));
        exchange.hangUp(placed.plcis[0], 0x3490);
        ASSERT_TRUE(exchange.waitFor(QStringLiteral("DISCONNECT_RESP"), 1));

        const QList<SimExchange::Message> resps = exchange.received(QStringLiteral("CONNECT_RESP"));
        ASSERT_EQ(resps.size(), 1) << "exactly one answer on the line";
        EXPECT_EQ(resps[0].fields.value(QStringLiteral("reject")).toInt(), 1) << "the call is let pass";
    }

    bool logged(const QString &start) const
    {
        for (const QString &line : log.lines())
            if (line.startsWith(start))
                return true;
        return false;
    }

    SimExchange exchange; // first: it points the library at itself before the monitor starts
    SimBox box;
    std::unique_ptr<BoxClient> client;
    ActivityLog log;
    PhoneBook phoneBook;
    CallSettings settings;
    QString callerNumber, callerName, calledNumber;
    CallHandler handler;
    TCapiMonitor monitor;
};

TEST_F(IncomingCallE2eTest, UnknownCallerIsAnnouncedOnTheTv)
{
    call(QStringLiteral("301234"), 0x21, 0x80, QStringLiteral("41"));
    EXPECT_EQ(box.requests(),
              QList<QByteArray>{"/cgi-bin/xmessage?timeout=10&caption=Ein%20Anruf%20kommt...&body="
                                "Anrufer:%200301234%20:%20kein%20Name%20im%20Telefonbuch"});
    EXPECT_TRUE(logged(QStringLiteral("Incoming Call ... Number : 0301234  MSN : 41  ")));
}

TEST_F(IncomingCallE2eTest, WithheldNumberIsAnnouncedWithPlaceholders)
{
    call(QString(), 0x21, 0xA0, QStringLiteral("41"));
    EXPECT_EQ(box.requests(),
              QList<QByteArray>{"/cgi-bin/xmessage?timeout=10&caption=Ein%20Anruf%20kommt...&body="
                                "Anrufer:%20keine%20Nummer%20:%20???"});
    const QJsonObject message = box.state().value(QStringLiteral("message")).toObject();
    EXPECT_EQ(message.value(QStringLiteral("caption")).toString(), QStringLiteral("Ein Anruf kommt..."));
    EXPECT_EQ(message.value(QStringLiteral("body")).toString(),
              QStringLiteral("Anrufer: keine Nummer : ???"));
}

// Calls that are logged but not announced.
TEST_F(IncomingCallE2eTest, FilteredCallsSendNothingToTheBox)
{
    struct Row
    {
        const char *name;
        bool allMsn;
        QString msn;
        bool active;
    };
    const Row rows[] = {
        {"All MSN off, call to another MSN", false, QStringLiteral("42"), true},
        {"Active off", true, QString(), false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        settings.chkAllMsn = row.allMsn;
        settings.edtMsn = row.msn;
        settings.chkActive = row.active;
        exchange.reset();
        box.reset();
        log.addRaw(QStringLiteral("-- next --"));
        call(QStringLiteral("301234"), 0x21, 0x80, QStringLiteral("41"));
        EXPECT_TRUE(box.requests().isEmpty());
        EXPECT_TRUE(
            log.lines().last().startsWith(QStringLiteral("Incoming Call ... Number : 0301234  MSN : 41  ")))
            << log.lines().last().toStdString();
    }
}

TEST_F(IncomingCallE2eTest, MatchingMsnIsAnnounced)
{
    settings.chkAllMsn = false;
    settings.edtMsn = QStringLiteral("41");
    call(QStringLiteral("301234"), 0x21, 0x80, QStringLiteral("41"));
    EXPECT_EQ(box.requests().size(), 1);
}

} // namespace
