#pragma once

// Launcher for the simulated ISDN exchange (tools/simexchange/simexchange.py) used by tests.
//
//   SimExchange exchange;                 // starts it and points the CAPI library at it
//   TCapiMonitor monitor; monitor.StartMonitor(1, 0);
//   ASSERT_TRUE(exchange.waitFor("LISTEN_REQ", 1));
//   auto call = exchange.placeCall("301234", 0x21, 0x80, "41", 16);
//   ASSERT_TRUE(exchange.waitFor("CONNECT_RESP", 1));
//   exchange.hangUp(call.plcis.at(0), 0x3490);
//
// The CAPI library (libcapi20) reads its configuration once per process, at its first call, from
// $HOME/.capi20rc. The first SimExchange of a process therefore makes a private HOME holding a
// .capi20rc and sets HOME for the whole process; it must be created BEFORE the first CAPI call.
// Later instances in the same process start the exchange on the same port again, so the library
// (which keeps the port it read) finds each new one.
//
// While a method waits for the exchange's answer it runs the Qt event loop, so a CAPI engine
// that hands its messages to this thread keeps working meanwhile.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>

class QProcess;
class QTemporaryDir;

class SimExchange
{
public:
    struct Options
    {
        // Send DISCONNECT_IND for an ignored call at once, not only when the caller hangs up.
        bool clearIgnoredCalls = false;
        // The called side of outgoing calls: "answer", "busy" or "noanswer".
        QString outgoing = QStringLiteral("answer");
    };

    // One message the exchange received or sent.
    struct Message
    {
        qint64 seq = 0;
        QString name;         // "CONNECT_RESP", "LISTEN_REQ", "REGISTER", ...
        bool control = false; // registration or information request, not a CAPI message
        int command = 0;
        int subcommand = 0;
        int connection = 0;     // the exchange's number for the TCP connection
        QByteArray raw;         // the frame's payload (the CAPI message, plus data for DATA_B3)
        QJsonObject fields;     // decoded parameters ("plci", "reject", "info", "cip_mask", ...)
        qint64 monotonicNs = 0; // CLOCK_MONOTONIC when received or sent (std::chrono::steady_clock)
        qint64 wallNs = 0;      // CLOCK_REALTIME
    };

    struct PlacedCall
    {
        int call = 0;
        QList<quint32> plcis; // one per application that listens for the call
    };

    SimExchange();
    explicit SimExchange(const Options &options);
    ~SimExchange();
    SimExchange(const SimExchange &) = delete;
    SimExchange &operator=(const SimExchange &) = delete;

    quint16 capiPort() const { return m_capiPort; }
    quint16 controlPort() const { return m_controlPort; }
    // The private HOME holding .capi20rc.
    static QString homeDir();

    // Offers a call. calling "-" sends a calling party number without digits, "none" an empty
    // struct (the network sent no number at all).
    PlacedCall placeCall(const QString &calling, quint8 typeOctet, quint8 presentationOctet,
                         const QString &called, quint16 cip, int controller = 1);
    // The caller hangs up: DISCONNECT_IND with reason to every application holding the call.
    QList<quint32> hangUp(quint32 plci, quint16 reason = 0x3490);
    // Sends a DATA_B3_IND on an active B3 connection.
    void sendData(quint32 ncci, const QByteArray &data);

    // Messages received from the library, in order; name filters ("CONNECT_RESP"), empty = all.
    QList<Message> received(const QString &name = {});
    QList<Message> sent(const QString &name = {});
    // Waits until at least count messages named name ("*": any) were received; false on timeout.
    bool waitFor(const QString &name, int count, int timeoutMs = 5000);
    // Applications registered now, as the exchange sees them (connection, appl, register, listen).
    QList<QJsonObject> applications();
    // Forgets the recorded messages (calls in progress stay).
    void reset();
    // Ends the exchange process at once, as if the exchange went away.
    void kill();
    bool isRunning() const;

    // One control command line; returns the JSON answer (throws std::runtime_error on no answer).
    QJsonObject command(const QByteArray &line, int timeoutMs = 5000);

private:
    void start(const Options &options);
    void connectControl();
    QList<Message> messages(const QByteArray &which, const QString &name);

    std::unique_ptr<QProcess> m_process;
    quint16 m_capiPort = 0;
    quint16 m_controlPort = 0;
    int m_control = -1;
    QByteArray m_pending;
};
