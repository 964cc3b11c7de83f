#include "support/simexchange.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

namespace {
constexpr int kStartTimeoutMs = 20000;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error("simexchange: " + text.toStdString());
}

// The library reads HOME once per process, so the HOME and the port live as long as the process.
struct ProcessWide
{
    std::unique_ptr<QTemporaryDir> home;
    quint16 capiPort = 0;
};

ProcessWide &processWide()
{
    static ProcessWide state;
    return state;
}

QString pythonProgram()
{
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                 : QStringLiteral("python3");
}

// Runs the event loop until fd is readable or the deadline passes; true when readable.
bool waitReadable(int fd, const QDeadlineTimer &deadline)
{
    if (!QCoreApplication::instance()) {
        // No event loop to keep running: a plain wait is enough.
        timeval tv{};
        const qint64 ms = qMax<qint64>(0, deadline.remainingTime());
        tv.tv_sec = ms / 1000;
        tv.tv_usec = (ms % 1000) * 1000;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        return ::select(fd + 1, &set, nullptr, nullptr, &tv) > 0;
    }
    QEventLoop loop;
    QSocketNotifier notifier(static_cast<qintptr>(fd), QSocketNotifier::Read);
    QTimer timer;
    timer.setSingleShot(true);
    bool readable = false;
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
        readable = true;
        loop.quit();
    });
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(qMax<qint64>(0, deadline.remainingTime())));
    loop.exec();
    return readable;
}

SimExchange::Message toMessage(const QJsonObject &o)
{
    SimExchange::Message m;
    m.seq = o.value(QStringLiteral("seq")).toInteger();
    m.name = o.value(QStringLiteral("name")).toString();
    m.control = o.value(QStringLiteral("kind")).toString() == QStringLiteral("control");
    m.command = o.value(QStringLiteral("command")).toInt();
    m.subcommand = o.value(QStringLiteral("subcommand")).toInt();
    m.connection = o.value(QStringLiteral("conn")).toInt();
    m.raw = QByteArray::fromHex(o.value(QStringLiteral("raw")).toString().toLatin1());
    m.monotonicNs = o.value(QStringLiteral("t_ns")).toInteger();
    m.wallNs = o.value(QStringLiteral("wall_ns")).toInteger();
    m.fields = o;
    return m;
}
} // namespace

SimExchange::SimExchange() : SimExchange(Options{}) {}

SimExchange::SimExchange(const Options &options)
{
    start(options);
}

SimExchange::~SimExchange()
{
    if (m_control >= 0)
        ::close(m_control);
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
}

QString SimExchange::homeDir()
{
    ProcessWide &state = processWide();
    if (!state.home) {
        state.home = std::make_unique<QTemporaryDir>();
        if (!state.home->isValid())
            fail(QStringLiteral("cannot create a temporary HOME"));
        qputenv("HOME", QFile::encodeName(state.home->path()));
    }
    return state.home->path();
}

void SimExchange::start(const Options &options)
{
    ProcessWide &state = processWide();
    const QString home = homeDir();
    const QString script =
        QStringLiteral(BOXVISOR_SOURCE_DIR) + QStringLiteral("/tools/simexchange/simexchange.py");
    QStringList args{script,
                     QStringLiteral("--port"),
                     QString::number(state.capiPort),
                     QStringLiteral("--control-port"),
                     QStringLiteral("0"),
                     QStringLiteral("--outgoing"),
                     options.outgoing,
                     QStringLiteral("--exit-with-stdin")};
    if (options.clearIgnoredCalls)
        args << QStringLiteral("--clear-ignored");

    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(pythonProgram(), args);
    if (!m_process->waitForStarted(kStartTimeoutMs))
        fail(QStringLiteral("cannot start %1: %2").arg(pythonProgram(), m_process->errorString()));

    // The exchange prints "simexchange ready capi_port=N control_port=M" once both ports listen.
    QByteArray out;
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!out.contains('\n') && m_process->state() == QProcess::Running && !deadline.hasExpired()) {
        m_process->waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        out += m_process->readAllStandardOutput();
    }
    const QRegularExpressionMatch ready =
        QRegularExpression(QStringLiteral("ready capi_port=(\\d+) control_port=(\\d+)"))
            .match(QString::fromLatin1(out));
    if (!ready.hasMatch())
        fail(QStringLiteral("did not come up on port %1").arg(state.capiPort));
    m_capiPort = static_cast<quint16>(ready.captured(1).toUInt());
    m_controlPort = static_cast<quint16>(ready.captured(2).toUInt());

    if (state.capiPort == 0) {
        state.capiPort = m_capiPort;
        // The library drops the last character of every line: each line ends with a newline.
        QSaveFile rc(home + QStringLiteral("/.capi20rc"));
        if (!rc.open(QIODevice::WriteOnly))
            fail(QStringLiteral("cannot write .capi20rc"));
        rc.write("REMOTE rcapi 127.0.0.1 " + QByteArray::number(m_capiPort) + "\nTRACELEVEL 0\n");
        if (!rc.commit())
            fail(QStringLiteral("cannot write .capi20rc"));
    }
    connectControl();
}

void SimExchange::connectControl()
{
    m_control = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_control < 0)
        fail(QStringLiteral("no socket"));
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(m_controlPort);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_control, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) != 0)
        fail(QStringLiteral("cannot connect to the control port %1").arg(m_controlPort));
    const int one = 1;
    ::setsockopt(m_control, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

QJsonObject SimExchange::command(const QByteArray &line, int timeoutMs)
{
    if (m_control < 0)
        fail(QStringLiteral("not connected"));
    const QByteArray request = line + '\n';
    if (::send(m_control, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) !=
        request.size())
        fail(QStringLiteral("cannot send '%1'").arg(QString::fromLatin1(line)));
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qsizetype end = m_pending.indexOf('\n');
        if (end >= 0) {
            const QByteArray answer = m_pending.left(end);
            m_pending.remove(0, end + 1);
            return QJsonDocument::fromJson(answer).object();
        }
        if (!waitReadable(m_control, deadline))
            fail(QStringLiteral("no answer to '%1'").arg(QString::fromLatin1(line)));
        char buffer[65536];
        const ssize_t n = ::recv(m_control, buffer, sizeof buffer, 0);
        if (n <= 0)
            fail(QStringLiteral("control connection closed during '%1'").arg(QString::fromLatin1(line)));
        m_pending.append(buffer, n);
    }
}

SimExchange::PlacedCall SimExchange::placeCall(const QString &calling, quint8 typeOctet,
                                               quint8 presentationOctet, const QString &called, quint16 cip,
                                               int controller)
{
    const QString callingWord = calling.isEmpty() ? QStringLiteral("-") : calling;
    const QString calledWord = called.isEmpty() ? QStringLiteral("none") : called;
    const QJsonObject answer = command(QStringLiteral("call %1 0x%2 0x%3 %4 %5 %6")
                                           .arg(callingWord)
                                           .arg(typeOctet, 0, 16)
                                           .arg(presentationOctet, 0, 16)
                                           .arg(calledWord)
                                           .arg(cip)
                                           .arg(controller)
                                           .toLatin1());
    if (!answer.value(QStringLiteral("ok")).toBool())
        fail(QStringLiteral("call failed: %1").arg(answer.value(QStringLiteral("error")).toString()));
    PlacedCall call;
    call.call = answer.value(QStringLiteral("call")).toInt();
    for (const QJsonValue &plci : answer.value(QStringLiteral("plcis")).toArray())
        call.plcis.append(static_cast<quint32>(plci.toInteger()));
    return call;
}

QList<quint32> SimExchange::hangUp(quint32 plci, quint16 reason)
{
    const QJsonObject answer =
        command("hangup " + QByteArray::number(plci) + ' ' + QByteArray::number(reason));
    if (!answer.value(QStringLiteral("ok")).toBool())
        fail(QStringLiteral("hangup failed: %1").arg(answer.value(QStringLiteral("error")).toString()));
    QList<quint32> plcis;
    for (const QJsonValue &value : answer.value(QStringLiteral("disconnected")).toArray())
        plcis.append(static_cast<quint32>(value.toInteger()));
    return plcis;
}

void SimExchange::sendData(quint32 ncci, const QByteArray &data)
{
    const QJsonObject answer = command("data " + QByteArray::number(ncci) + ' ' + data.toHex());
    if (!answer.value(QStringLiteral("ok")).toBool())
        fail(QStringLiteral("data failed: %1").arg(answer.value(QStringLiteral("error")).toString()));
}

QList<SimExchange::Message> SimExchange::messages(const QByteArray &which, const QString &name)
{
    const QJsonObject answer = command(which);
    QList<Message> list;
    for (const QJsonValue &value : answer.value(QStringLiteral("messages")).toArray()) {
        Message m = toMessage(value.toObject());
        if (name.isEmpty() || m.name == name)
            list.append(std::move(m));
    }
    return list;
}

QList<SimExchange::Message> SimExchange::received(const QString &name)
{
    return messages("messages", name);
}

QList<SimExchange::Message> SimExchange::sent(const QString &name)
{
    return messages("sent", name);
}

bool SimExchange::waitFor(const QString &name, int count, int timeoutMs)
{
    const QJsonObject answer = command(
        QStringLiteral("wait %1 %2 %3").arg(name).arg(count).arg(timeoutMs).toLatin1(), timeoutMs + 5000);
    return answer.value(QStringLiteral("ok")).toBool();
}

QList<QJsonObject> SimExchange::applications()
{
    QList<QJsonObject> list;
    for (const QJsonValue &value : command("apps").value(QStringLiteral("applications")).toArray())
        list.append(value.toObject());
    return list;
}

void SimExchange::reset()
{
    command("reset");
}

void SimExchange::kill()
{
    if (m_control >= 0) {
        ::close(m_control);
        m_control = -1;
    }
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

bool SimExchange::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}
