// The simulated exchange against the real CAPI library (libcapi20, rcapi over loopback), without
// any of our CAPI code in between: the library must accept every frame the exchange sends, and
// the exchange must record what the library sends.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <capi20.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QJsonArray>

#include "support/simexchange.h"

namespace {

QByteArray le16(unsigned v)
{
    return QByteArray(1, static_cast<char>(v & 0xFF)) + QByteArray(1, static_cast<char>((v >> 8) & 0xFF));
}

QByteArray le32(unsigned v)
{
    return le16(v & 0xFFFF) + le16(v >> 16);
}

unsigned readLe16(const QByteArray &b, int at)
{
    return static_cast<unsigned char>(b.at(at)) | static_cast<unsigned char>(b.at(at + 1)) << 8;
}

unsigned readLe32(const QByteArray &b, int at)
{
    return readLe16(b, at) | readLe16(b, at + 2) << 16;
}

// A message: header (length, application, command, subcommand, number) and parameters.
QByteArray message(unsigned appl, unsigned command, unsigned subcommand, unsigned number,
                   const QByteArray &params)
{
    QByteArray m = le16(static_cast<unsigned>(8 + params.size())) + le16(appl);
    m += static_cast<char>(command);
    m += static_cast<char>(subcommand);
    return m + le16(number) + params;
}

const QByteArray kListenParams = le32(1) + le32(0x7F) + le32(0x1FFF03FE) + le32(0) +
                                 QByteArray::fromHex("020080") + QByteArray::fromHex("0180");

// One registered application of the real library.
class Application
{
public:
    Application() { m_error = capi20_register(1, 2, 128, &m_appl); }
    ~Application()
    {
        if (m_error == 0)
            capi20_release(m_appl);
    }
    unsigned error() const { return m_error; }
    unsigned id() const { return m_appl; }

    // The library uses the caller's buffer as one of its send buffers: it reads past the
    // message and puts a DATA_B3_REQ's data in behind it, so the buffer gets ample room.
    unsigned put(const QByteArray &msg)
    {
        QByteArray buffer = msg + QByteArray(4096, '\0');
        return capi20_put_message(m_appl, reinterpret_cast<unsigned char *>(buffer.data()));
    }

    // The next message, or an empty array when none arrives within timeoutMs (the wait runs
    // in the library; the exchange is another process, so nothing here needs an event loop).
    QByteArray get(int timeoutMs = 5000, unsigned *result = nullptr)
    {
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        unsigned r = capi20_waitformessage(m_appl, &tv);
        if (r == 0) {
            unsigned char *buffer = nullptr;
            r = capi20_get_message(m_appl, &buffer);
            if (r == 0)
                return QByteArray(reinterpret_cast<const char *>(buffer),
                                  static_cast<int>(buffer[0] | buffer[1] << 8));
        }
        if (result)
            *result = r;
        return {};
    }

private:
    unsigned m_appl = 0;
    unsigned m_error = 0;
};

// Command word of a received message.
unsigned commandOf(const QByteArray &m)
{
    return m.size() >= 6 ? static_cast<unsigned char>(m.at(4)) << 8 | static_cast<unsigned char>(m.at(5)) : 0;
}

class ExchangeProtocolTest : public ::testing::Test
{
protected:
    // Registers and listens for every CIP value the monitor listens for.
    void listen(Application &app)
    {
        ASSERT_EQ(app.error(), 0U);
        ASSERT_EQ(app.put(message(app.id(), 0x05, 0x80, 7, kListenParams)), 0U);
        const QByteArray conf = app.get();
        ASSERT_EQ(commandOf(conf), 0x0581U);
        EXPECT_EQ(readLe16(conf, 6), 7U) << "a confirmation carries the request's number";
        EXPECT_EQ(readLe16(conf, 12), 0U) << "Info";
    }

    SimExchange exchange;
};

TEST_F(ExchangeProtocolTest, InformationRequestsAnswered)
{
    ASSERT_EQ(capi20_isinstalled(), 0U);
    unsigned char text[64] = {};
    ASSERT_NE(capi20_get_manufacturer(1, text), nullptr);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "Boxvisor simulated exchange");
    unsigned char version[16] = {};
    ASSERT_NE(capi20_get_version(1, version), nullptr);
    EXPECT_EQ(readLe32(QByteArray(reinterpret_cast<char *>(version), 16), 0), 2U) << "CAPI 2.0";
    unsigned char serial[8] = {};
    ASSERT_NE(capi20_get_serial_number(1, serial), nullptr);
    EXPECT_STREQ(reinterpret_cast<char *>(serial), "0000001");
    unsigned char profile[64] = {};
    ASSERT_EQ(capi20_get_profile(0, profile), 0U);
    EXPECT_EQ(profile[0] | profile[1] << 8, 1) << "one controller";

    QStringList names;
    for (const SimExchange::Message &m : exchange.received())
        names << m.name;
    EXPECT_TRUE(names.contains(QStringLiteral("GET_MANUFACTURER")));
    EXPECT_TRUE(names.contains(QStringLiteral("GET_PROFILE")));
}

TEST_F(ExchangeProtocolTest, RegistrationAndListenRecorded)
{
    Application app;
    listen(app);

    const QList<SimExchange::Message> reg = exchange.received(QStringLiteral("REGISTER"));
    ASSERT_EQ(reg.size(), 1);
    EXPECT_TRUE(reg[0].control);
    EXPECT_EQ(reg[0].fields.value(QStringLiteral("max_b3_connection")).toInt(), 1);
    EXPECT_EQ(reg[0].fields.value(QStringLiteral("max_b3_blks")).toInt(), 2);
    EXPECT_EQ(reg[0].fields.value(QStringLiteral("max_size_b3")).toInt(), 128);

    const QList<SimExchange::Message> listens = exchange.received(QStringLiteral("LISTEN_REQ"));
    ASSERT_EQ(listens.size(), 1);
    EXPECT_EQ(listens[0].raw, message(app.id(), 0x05, 0x80, 7, kListenParams)) << "recorded byte for byte";
    EXPECT_EQ(listens[0].fields.value(QStringLiteral("cip_mask")).toInteger(), 0x1FFF03FE);
    ASSERT_EQ(exchange.applications().size(), 1);
}

TEST_F(ExchangeProtocolTest, IncomingCallIgnoredThenCallerHangsUp)
{
    Application app;
    listen(app);
    const SimExchange::PlacedCall call =
        exchange.placeCall(QStringLiteral("301234"), 0x21, 0x80, QStringLiteral("41"), 16);
    ASSERT_EQ(call.plcis.size(), 1);
    const unsigned plci = call.plcis[0];
    EXPECT_EQ(plci & 0xFF, 1U) << "controller 1";

    const QByteArray ind = app.get();
    ASSERT_EQ(commandOf(ind), 0x0282U);
    EXPECT_EQ(readLe32(ind, 8), plci);
    EXPECT_EQ(readLe16(ind, 12), 16U) << "CIP";
    // Called party number (type 0x80, "41"), then calling party number (0x21, 0x80, "301234").
    EXPECT_EQ(ind.mid(14, 4), QByteArray::fromHex("03803431"));
    EXPECT_EQ(ind.mid(18, 9), QByteArray::fromHex("082180") + "301234");

    const QByteArray resp =
        message(app.id(), 0x02, 0x83, readLe16(ind, 6), le32(plci) + le16(1) + QByteArray(5, '\0'));
    ASSERT_EQ(app.put(resp), 0U);
    ASSERT_TRUE(exchange.waitFor(QStringLiteral("CONNECT_RESP"), 1));
    const QList<SimExchange::Message> resps = exchange.received(QStringLiteral("CONNECT_RESP"));
    ASSERT_EQ(resps.size(), 1);
    EXPECT_EQ(resps[0].raw, resp);
    EXPECT_EQ(resps[0].fields.value(QStringLiteral("reject")).toInt(), 1);
    EXPECT_EQ(resps[0].fields.value(QStringLiteral("plci")).toInteger(), plci);

    // An ignored call goes on ringing elsewhere: nothing more until the caller hangs up.
    unsigned result = 0;
    EXPECT_TRUE(app.get(200, &result).isEmpty());
    EXPECT_EQ(result, 0x1104U);

    ASSERT_EQ(exchange.hangUp(plci, 0x3490), QList<quint32>{plci});
    const QByteArray disc = app.get();
    ASSERT_EQ(commandOf(disc), 0x0482U);
    EXPECT_EQ(readLe32(disc, 8), plci);
    EXPECT_EQ(readLe16(disc, 12), 0x3490U);
    ASSERT_EQ(app.put(message(app.id(), 0x04, 0x83, readLe16(disc, 6), le32(plci))), 0U);
    ASSERT_TRUE(exchange.waitFor(QStringLiteral("DISCONNECT_RESP"), 1));
    EXPECT_TRUE(exchange.command("calls").value(QStringLiteral("calls")).toObject().isEmpty());
}

// The numbers a caller may present, as the CONNECT_IND's calling party number struct.
TEST_F(ExchangeProtocolTest, CallingNumberForms)
{
    struct Row
    {
        const char *name;
        QString calling;
        quint8 type;
        quint8 presentation;
        QByteArray expectedStruct;
    };
    const Row rows[] = {
        {"international", QStringLiteral("49301234"), 0x11, 0x80, QByteArray::fromHex("0a1180") + "49301234"},
        {"withheld, no digits", QString(), 0x21, 0xA0, QByteArray::fromHex("0221a0")},
        {"no number at all", QStringLiteral("none"), 0x00, 0x00, QByteArray::fromHex("00")},
    };
    Application app;
    listen(app);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const SimExchange::PlacedCall call =
            exchange.placeCall(row.calling, row.type, row.presentation, QStringLiteral("41"), 1);
        const QByteArray ind = app.get();
        ASSERT_EQ(commandOf(ind), 0x0282U);
        EXPECT_EQ(ind.mid(18, row.expectedStruct.size()), row.expectedStruct);
        exchange.hangUp(call.plcis.at(0), 0x3490);
        ASSERT_EQ(commandOf(app.get()), 0x0482U);
    }
}

TEST_F(ExchangeProtocolTest, CallOutsideTheListenMaskIsNotOffered)
{
    Application app;
    ASSERT_EQ(app.error(), 0U);
    // Speech only (CIP 1), as the engine's closing LISTEN_REQ asks.
    ASSERT_EQ(app.put(message(app.id(), 0x05, 0x80, 1,
                              le32(1) + le32(0x7F) + le32(0x2) + le32(0) + QByteArray(2, '\0'))),
              0U);
    ASSERT_EQ(commandOf(app.get()), 0x0581U);
    EXPECT_TRUE(
        exchange.placeCall(QStringLiteral("301234"), 0x21, 0x80, QStringLiteral("41"), 16).plcis.isEmpty());
    EXPECT_EQ(exchange.placeCall(QStringLiteral("301234"), 0x21, 0x80, QStringLiteral("41"), 1).plcis.size(),
              1);
    EXPECT_EQ(commandOf(app.get()), 0x0282U);
}

TEST_F(ExchangeProtocolTest, AcceptedCallRunsToB3DataAndIsCleared)
{
    Application app;
    listen(app);
    const unsigned plci =
        exchange.placeCall(QStringLiteral("301234"), 0x21, 0x80, QStringLiteral("41"), 16).plcis.at(0);
    const QByteArray ind = app.get();
    ASSERT_EQ(commandOf(ind), 0x0282U);
    ASSERT_EQ(app.put(message(app.id(), 0x02, 0x83, readLe16(ind, 6),
                              le32(plci) + le16(0) + QByteArray::fromHex("09010001000000000000") +
                                  QByteArray(4, '\0'))),
              0U);

    const QByteArray active = app.get();
    ASSERT_EQ(commandOf(active), 0x0382U);
    ASSERT_EQ(app.put(message(app.id(), 0x03, 0x83, readLe16(active, 6), le32(plci))), 0U);
    const QByteArray b3 = app.get();
    ASSERT_EQ(commandOf(b3), 0x8282U);
    const unsigned ncci = readLe32(b3, 8);
    EXPECT_EQ(ncci & 0xFFFF, plci);
    ASSERT_EQ(
        app.put(message(app.id(), 0x82, 0x83, readLe16(b3, 6), le32(ncci) + le16(0) + QByteArray(1, '\0'))),
        0U);
    ASSERT_EQ(commandOf(app.get()), 0x8382U);

    // Data from the far end reaches the application through the library's buffers.
    exchange.sendData(ncci, "hello");
    const QByteArray data = app.get();
    ASSERT_EQ(commandOf(data), 0x8682U);
    EXPECT_EQ(readLe16(data, 16), 5U) << "data length";

    ASSERT_EQ(app.put(message(app.id(), 0x04, 0x80, 9, le32(plci) + QByteArray(1, '\0'))), 0U);
    const QByteArray conf = app.get();
    ASSERT_EQ(commandOf(conf), 0x0481U);
    EXPECT_EQ(readLe16(conf, 6), 9U);
    EXPECT_EQ(readLe16(conf, 12), 0U);
    EXPECT_EQ(commandOf(app.get()), 0x8482U) << "B3 connection cleared first";
    const QByteArray disc = app.get();
    ASSERT_EQ(commandOf(disc), 0x0482U);
    EXPECT_EQ(readLe32(disc, 8), plci);
}

// An outgoing data call: the called side answers, B3 comes up, and the data of a 64-bit
// DATA_B3_REQ (taken by the library from the message's data pointer) reaches the exchange.
TEST_F(ExchangeProtocolTest, OutgoingDataCallCarriesData)
{
    Application app;
    listen(app);
    // Controller 1, CIP 2, called party number (type 0x80) "0193010000", empty calling number and
    // subaddresses, B protocol 1/1/0, empty BC, LLC, HLC and additional info.
    const QByteArray called = QByteArray::fromHex("80") + "0193010000";
    ASSERT_EQ(app.put(message(app.id(), 0x02, 0x80, 3,
                              le32(1) + le16(2) + QByteArray(1, static_cast<char>(called.size())) + called +
                                  QByteArray(3, '\0') + QByteArray::fromHex("09010001000000000000") +
                                  QByteArray(4, '\0'))),
              0U);
    const QByteArray conf = app.get();
    ASSERT_EQ(commandOf(conf), 0x0281U);
    EXPECT_EQ(readLe16(conf, 12), 0U);
    const unsigned plci = readLe32(conf, 8);
    const QByteArray active = app.get();
    ASSERT_EQ(commandOf(active), 0x0382U);
    ASSERT_EQ(app.put(message(app.id(), 0x03, 0x83, readLe16(active, 6), le32(plci))), 0U);
    ASSERT_EQ(app.put(message(app.id(), 0x82, 0x80, 4, le32(plci) + QByteArray(1, '\0'))), 0U);
    const QByteArray b3conf = app.get();
    ASSERT_EQ(commandOf(b3conf), 0x8281U);
    const unsigned ncci = readLe32(b3conf, 8);
    EXPECT_EQ(ncci & 0xFFFF, plci);
    ASSERT_EQ(commandOf(app.get()), 0x8382U);

    QByteArray payload("*00/00035/O/51/0301234/hello/");
    const quint64 pointer = reinterpret_cast<quintptr>(payload.constData());
    QByteArray data64;
    for (int i = 0; i < 8; ++i)
        data64 += static_cast<char>((pointer >> (8 * i)) & 0xFF);
    ASSERT_EQ(app.put(message(app.id(), 0x86, 0x80, 5,
                              le32(ncci) + le32(0) + le16(static_cast<unsigned>(payload.size())) +
                                  le16(0x4242) + le16(0) + data64)),
              0U);
    const QByteArray dataConf = app.get();
    ASSERT_EQ(commandOf(dataConf), 0x8681U);
    EXPECT_EQ(readLe16(dataConf, 12), 0x4242U) << "the data handle comes back";
    EXPECT_EQ(readLe16(dataConf, 14), 0U) << "Info";
    const QList<SimExchange::Message> connects = exchange.received(QStringLiteral("CONNECT_REQ"));
    ASSERT_EQ(connects.size(), 1);
    EXPECT_EQ(connects[0].fields.value(QStringLiteral("called_number")).toString(),
              QString::fromLatin1(called.toHex()));
    EXPECT_EQ(connects[0].fields.value(QStringLiteral("b_protocol")).toString(),
              QStringLiteral("010001000000000000"));
    const QList<SimExchange::Message> data = exchange.received(QStringLiteral("DATA_B3_REQ"));
    ASSERT_EQ(data.size(), 1);
    EXPECT_EQ(QByteArray::fromHex(data[0].fields.value(QStringLiteral("data")).toString().toLatin1()),
              payload);
}

// A peer that breaks the framing is cut off; the exchange keeps serving everyone else.
TEST_F(ExchangeProtocolTest, MalformedFramesCloseOnlyThatConnection)
{
    struct Row
    {
        const char *name;
        QByteArray bytes;
    };
    const Row rows[] = {
        {"length shorter than a header", QByteArray::fromHex("0003ff")},
        {"length beyond any frame the library sends", QByteArray::fromHex("ffff") + QByteArray(64, '\x01')},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(exchange.capiPort());
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr *>(&sa), sizeof sa), 0);
        timeval tv{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ASSERT_EQ(::send(fd, row.bytes.constData(), static_cast<size_t>(row.bytes.size()), MSG_NOSIGNAL),
                  row.bytes.size());
        char buffer[16];
        EXPECT_EQ(::recv(fd, buffer, sizeof buffer, 0), 0) << "closed by the exchange";
        ::close(fd);
    }
    Application app;
    listen(app);
    EXPECT_EQ(exchange.placeCall(QStringLiteral("301234"), 0x21, 0x80, QStringLiteral("41"), 16).plcis.size(),
              1);
    EXPECT_EQ(commandOf(app.get()), 0x0282U);
}

// What our engine must cope with: once the exchange is gone the library's wait returns at once,
// every time, and fetching gives "queue is empty".
TEST_F(ExchangeProtocolTest, LostLinkMakesTheWaitReturnAtOnce)
{
    Application app;
    listen(app);
    exchange.kill();
    for (int i = 0; i < 3; ++i) {
        unsigned result = 0;
        EXPECT_TRUE(app.get(5000, &result).isEmpty());
        EXPECT_EQ(result, 0x1104U);
    }
}

} // namespace
