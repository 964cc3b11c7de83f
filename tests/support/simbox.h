#pragma once

// Launcher for the simulated box (tools/simbox/simbox.py) used by tests.
//
//   SimBox box;                                   // starts it, or throws std::runtime_error
//   auto client = makeCurlBoxClient([&] { return box.address(); });
//   client->httpGet("/cgi-bin/reloadTimerList");
//   EXPECT_EQ(box.requests(), QList<QByteArray>{"/cgi-bin/reloadTimerList"});
//
// Each instance listens on a loopback address of its own (127.0.x.y, ports 80 and 21, so the
// process needs root or the bind capability) and serves a fresh temporary folder as the box's
// file system; the folders /var/tuxbox/config/enigma/ and /hdd/movie/ exist from the start.
// FTP account: "root" / "qtvplazo". The HTTP side answers like a real box: "/cgi-bin/xmessage"
// ("+ok"), "/cgi-bin/reloadTimerList" ("+ok"), "/?path=<ref>" (zaps, returns the main page),
// "/setVolume?volume=&mute=" (204), "/cgi-bin/zapTo?path=" (204), "/cgi-bin/currentService",
// "/cgi-bin/getcurrentepg", and "/" (a page showing the last message as the TV shows it).
// The constructor returns once both sides accept connections; the destructor stops the box.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;
class QTemporaryDir;

class SimBox
{
public:
    struct Options
    {
        int ftpBytesPerSecond = 0; // FTP data limit, 0 = unlimited (see also setFtpThrottle)
        QString auth;              // "user:password": web interface protected (HTTP Basic, 401 otherwise)
        QString ftpPassword;       // the box's root password when not the one the program uses
        bool bigScreen = false;    // like builds since mid-2004: "/?path=" does not zap
        bool oldAnswers = false;   // like builds before 2004-03: "OK\n" instead of "+ok"
    };

    SimBox();
    explicit SimBox(const Options &options);
    ~SimBox();
    SimBox(const SimBox &) = delete;
    SimBox &operator=(const SimBox &) = delete;

    // "127.0.x.y", what the settings' box address field would hold.
    QString address() const;
    // The folder served as the box's "/" over FTP.
    QString rootDir() const;
    // rootDir() + an absolute box path, e.g. filePath("/var/tuxbox/config/enigma/timer.epl").
    QString filePath(const QString &boxPath) const;

    // Request targets (path and query, byte for byte as received) in arrival order, and the
    // complete request lines ("GET <target> HTTP/1.1"). Control requests are not included.
    QList<QByteArray> requests() const;
    QList<QByteArray> requestLines() const;
    // FTP commands as received ("USER root", "PASS ******", "PORT ...", "RETR x"), with "CONNECT"
    // and "DISCONNECT" marking the start and end of each control connection.
    QStringList ftpCommands() const;
    // What the box did: {"message": {"timeout", "caption", "body", "replace", "shownAt",
    // "shownSince" (Unix time)} or null,
    // "messages": [...], "volume": int or null, "mute": bool, "service": "<ref>",
    // "timerListReloads": int}. Caption and body are the decoded UTF-8 texts.
    QJsonObject state() const;
    // Forgets recorded requests and state (files on the FTP side stay).
    void reset();
    // Limits FTP data transfers in both directions (bytes per second, 0 = unlimited); applies
    // to data connections opened afterwards.
    void setFtpThrottle(int bytesPerSecond);

    // GET of a control or box target on the HTTP side without going through the box client;
    // returns the body (throws std::runtime_error if the box does not answer).
    QByteArray rawGet(const QByteArray &target) const;

private:
    void start(const Options &options);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_process;
    QString m_address;
    QString m_root;
};
