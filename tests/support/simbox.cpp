#include "support/simbox.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

namespace {
constexpr int kHttpPort = 80;
constexpr int kFtpPort = 21;
constexpr int kStartTimeoutMs = 20000;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

class Socket
{
public:
    Socket() : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

sockaddr_in socketAddress(const QString &address, int port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &sa.sin_addr) != 1)
        fail(QStringLiteral("simbox: bad address %1").arg(address));
    return sa;
}

bool portFree(const QString &address, int port)
{
    Socket s;
    if (s.fd() < 0)
        return false;
    const int one = 1;
    ::setsockopt(s.fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in sa = socketAddress(address, port);
    return ::bind(s.fd(), reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0;
}

// Different test programs run in parallel: start from the process id so that they try
// different addresses, and step on per instance.
QString nextCandidateAddress()
{
    static std::atomic<unsigned> counter{0};
    constexpr unsigned kHosts = 240U * 253U;
    const unsigned n = (static_cast<unsigned>(::getpid()) * 97U + counter.fetch_add(1)) % kHosts;
    return QStringLiteral("127.0.%1.%2").arg(10 + n / 253).arg(2 + n % 253);
}

QString pythonProgram()
{
    // The system interpreter has python3-pyftpdlib; a python3 earlier on PATH may not.
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                 : QStringLiteral("python3");
}
} // namespace

SimBox::SimBox() : SimBox(Options{}) {}

SimBox::SimBox(const Options &options)
{
    start(options);
}

SimBox::~SimBox()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
}

void SimBox::start(const Options &options)
{
    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_dir->isValid())
        fail(QStringLiteral("simbox: cannot create a temporary folder"));
    m_root = m_dir->filePath(QStringLiteral("box"));
    QDir().mkpath(m_root);
    const QString script = QStringLiteral(BOXVISOR_SOURCE_DIR) + QStringLiteral("/tools/simbox/simbox.py");

    QString lastError;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString address = nextCandidateAddress();
        if (!portFree(address, kHttpPort) || !portFree(address, kFtpPort)) {
            lastError =
                QStringLiteral("ports 80/21 on %1 are taken or cannot be bound (root needed)").arg(address);
            continue;
        }
        QStringList args{script, QStringLiteral("--address"), address, QStringLiteral("--root"), m_root};
        if (options.ftpBytesPerSecond > 0)
            args << QStringLiteral("--ftp-throttle") << QString::number(options.ftpBytesPerSecond);
        if (!options.ftpPassword.isEmpty())
            args << QStringLiteral("--ftp-password") << options.ftpPassword;
        if (!options.auth.isEmpty())
            args << QStringLiteral("--auth") << options.auth;
        if (options.bigScreen)
            args << QStringLiteral("--big-screen");
        if (options.oldAnswers)
            args << QStringLiteral("--old-answers");

        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::SeparateChannels);
        m_process->start(pythonProgram(), args);
        if (!m_process->waitForStarted(kStartTimeoutMs))
            fail(
                QStringLiteral("simbox: cannot start %1: %2").arg(pythonProgram(), m_process->errorString()));

        // The simulator prints "READY ..." once both servers listen.
        QByteArray out;
        const QDeadlineTimer deadline(kStartTimeoutMs);
        while (!out.contains("READY") && m_process->state() == QProcess::Running && !deadline.hasExpired()) {
            m_process->waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
            out += m_process->readAllStandardOutput();
        }
        if (out.contains("READY")) {
            m_address = address;
            return;
        }
        if (m_process->state() == QProcess::Running) {
            m_process->kill();
            m_process->waitForFinished(5000);
            fail(QStringLiteral("simbox: no ready notice within %1 ms on %2")
                     .arg(kStartTimeoutMs)
                     .arg(address));
        }
        m_process->waitForFinished(5000);
        lastError = QString::fromLocal8Bit(m_process->readAllStandardError()).trimmed();
        m_process.reset();
        if (!lastError.contains(QStringLiteral("Address already in use")))
            break;
    }
    fail(QStringLiteral("simbox: could not start: %1").arg(lastError));
}

QString SimBox::address() const
{
    return m_address;
}

QString SimBox::rootDir() const
{
    return m_root;
}

QString SimBox::filePath(const QString &boxPath) const
{
    return QDir::cleanPath(m_root + QLatin1Char('/') + boxPath);
}

QByteArray SimBox::rawGet(const QByteArray &target) const
{
    Socket s;
    if (s.fd() < 0)
        fail(QStringLiteral("simbox: no socket"));
    timeval tv{10, 0};
    ::setsockopt(s.fd(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(s.fd(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    const sockaddr_in sa = socketAddress(m_address, kHttpPort);
    if (::connect(s.fd(), reinterpret_cast<const sockaddr *>(&sa), sizeof sa) != 0)
        fail(QStringLiteral("simbox: cannot connect to %1").arg(m_address));
    const QByteArray request = "GET " + target + " HTTP/1.0\r\n\r\n";
    if (::send(s.fd(), request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) !=
        request.size())
        fail(QStringLiteral("simbox: cannot send to %1").arg(m_address));
    QByteArray answer;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::recv(s.fd(), buffer, sizeof buffer, 0);
        if (n < 0)
            fail(QStringLiteral("simbox: no answer from %1").arg(m_address));
        if (n == 0)
            break;
        answer.append(buffer, n);
    }
    const qsizetype split = answer.indexOf("\r\n\r\n");
    if (!answer.startsWith("HTTP/1.") || split < 0)
        fail(QStringLiteral("simbox: bad answer to %1").arg(QString::fromLatin1(target)));
    return answer.mid(split + 4);
}

namespace {
QList<QByteArray> requestField(const QByteArray &json, const QString &field)
{
    QList<QByteArray> result;
    const QJsonArray list = QJsonDocument::fromJson(json).array();
    for (const auto &item : list)
        result.append(item.toObject().value(field).toString().toLatin1()); // code points 0-255 = bytes
    return result;
}
} // namespace

QList<QByteArray> SimBox::requests() const
{
    return requestField(rawGet("/__simbox/requests"), QStringLiteral("target"));
}

QList<QByteArray> SimBox::requestLines() const
{
    return requestField(rawGet("/__simbox/requests"), QStringLiteral("line"));
}

QStringList SimBox::ftpCommands() const
{
    QStringList result;
    const QJsonArray list = QJsonDocument::fromJson(rawGet("/__simbox/ftp-commands")).array();
    for (const auto &item : list)
        result.append(item.toString());
    return result;
}

QJsonObject SimBox::state() const
{
    return QJsonDocument::fromJson(rawGet("/__simbox/state")).object();
}

void SimBox::reset()
{
    rawGet("/__simbox/reset");
}

void SimBox::setFtpThrottle(int bytesPerSecond)
{
    rawGet("/__simbox/throttle?bytes_per_second=" + QByteArray::number(bytesPerSecond));
}
