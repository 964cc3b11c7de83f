#include "app/curl_box_client.h"

#include <curl/curl.h>
#include <sys/socket.h>

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSaveFile>

#include "common/error.h"

namespace {
// A box on the home network answers a connect at once; five seconds covers a slow Wi-Fi link.
constexpr long CONNECT_TIMEOUT_S = 5;
// Box answers are small pages; a whole request taking longer means the box hangs.
constexpr long HTTP_TOTAL_TIMEOUT_S = 30;
// Below one byte per second over this time the transfer is considered dead.
constexpr long LOW_SPEED_LIMIT_BPS = 1;
constexpr long HTTP_LOW_SPEED_TIME_S = 10;
constexpr long FTP_LOW_SPEED_TIME_S = 30;
// Longest wait for an answer to an FTP command, and for the box to connect back (active mode).
constexpr long FTP_RESPONSE_TIMEOUT_S = 15;
constexpr long FTP_ACCEPT_TIMEOUT_MS = 10000;
// Guards memory against a peer that never stops sending.
constexpr qsizetype MAX_HTTP_BODY = 64 * 1024 * 1024;
constexpr qsizetype MAX_LISTING = 16 * 1024 * 1024;

const char FTP_USER[] = "root";
const char FTP_PASSWORD[] = "qtvplazo";
// A store goes to this name first and is renamed over the target only when complete.
const char UPLOAD_SUFFIX[] = ".upload";

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlCleanup
{
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlCleanup>;

struct SlistFree
{
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

CurlHandle newHandle()
{
    initCurlOnce();
    CurlHandle handle(curl_easy_init());
    if (!handle)
        throw TransferError(QStringLiteral("Die Netzwerkbibliothek konnte nicht gestartet werden."),
                            CURLE_FAILED_INIT);
    return handle;
}

// Progress shared between the worker thread that runs curl and the thread that waits.
struct TransferState
{
    std::atomic<bool> abortRequested{false};
    std::atomic<bool> progressPosted{false};
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{-1};
    bool upload = false;
    TransferProgress progress; // called on the waiting thread only
    QObject *relay = nullptr;  // the waiting thread's loop; null when curl runs on the caller's thread
    std::exception_ptr progressError;

    void start(TransferProgress callback, bool isUpload)
    {
        abortRequested = false;
        progressPosted = false;
        done = 0;
        total = -1;
        upload = isUpload;
        progress = std::move(callback);
        relay = nullptr;
        progressError = nullptr;
    }

    void deliver()
    {
        if (!progress || abortRequested)
            return;
        try {
            if (!progress(done, total))
                abortRequested = true;
        } catch (...) {
            progressError = std::current_exception();
            abortRequested = true;
        }
    }
};

int onTransferInfo(void *data, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow)
{
    auto *state = static_cast<TransferState *>(data);
    const curl_off_t total = state->upload ? ultotal : dltotal;
    state->done = static_cast<qint64>(state->upload ? ulnow : dlnow);
    state->total = total > 0 ? static_cast<qint64>(total) : -1;
    if (state->progress) {
        if (!state->relay) {
            state->deliver();
        } else if (!state->progressPosted.exchange(true)) {
            // One report in flight at a time; the waiting thread reads the latest figures.
            QMetaObject::invokeMethod(
                state->relay,
                [state] {
                    state->progressPosted = false;
                    state->deliver();
                },
                Qt::QueuedConnection);
        }
    }
    return state->abortRequested ? 1 : 0;
}

// Runs work on a worker thread while this thread waits in a local event loop (repainting, and
// handling user input only if asked to). Without an application object there is no loop to
// wait in, and the work runs right here.
void runWaiting(const std::function<void()> &work, WhileWaiting mode, TransferState *state)
{
    if (!QCoreApplication::instance() || QCoreApplication::closingDown()) {
        work();
        if (state)
            state->deliver();
        return;
    }
    QEventLoop loop;
    if (state)
        state->relay = &loop;
    std::atomic<bool> finished{false};
    std::exception_ptr error;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        finished = true;
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    const auto flags =
        mode == WhileWaiting::HoldUserInput ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents;
    while (!finished)
        loop.exec(flags);
    worker.join();
    if (state) {
        state->relay = nullptr;
        state->deliver(); // the final figures
    }
    if (error)
        std::rethrow_exception(error);
}

QString curlReason(CURLcode code, const char *errorBuffer)
{
    const QString detail = QString::fromUtf8(errorBuffer).trimmed();
    return detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : detail;
}

// The address field may hold a host name, an IPv4 or IPv6 address and a port; anything else
// (blanks, '/', '@') would change what the URL means.
QString checkedAddress(const QString &address)
{
    if (address.isEmpty())
        throw TransferError(QStringLiteral("Es ist keine Box-Adresse eingestellt."), CURLE_URL_MALFORMAT);
    for (const QChar c : address) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                        u == '.' || u == '-' || u == '_' || u == ':' || u == '[' || u == ']';
        if (!ok)
            throw TransferError(QStringLiteral("Die Box-Adresse \"%1\" ist ungültig.").arg(address),
                                CURLE_URL_MALFORMAT);
    }
    return address;
}

// The FTP side uses the host without the web interface's port.
QString hostPart(const QString &address)
{
    if (address.startsWith(QLatin1Char('['))) {
        const qsizetype end = address.indexOf(QLatin1Char(']'));
        return end < 0 ? address : address.left(end + 1);
    }
    const qsizetype colons = address.count(QLatin1Char(':'));
    if (colons == 1)
        return address.section(QLatin1Char(':'), 0, 0);
    if (colons > 1)
        return QLatin1Char('[') + address + QLatin1Char(']'); // a bare IPv6 address
    return address;
}

// Bytes that can never stand in a request line are escaped; everything else goes as built.
QByteArray requestLineTarget(const QByteArray &target)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(target.size() + 8);
    if (!target.startsWith('/'))
        out.append('/');
    for (const char ch : target) {
        const auto b = static_cast<unsigned char>(ch);
        if (b <= 0x20 || b >= 0x7F || b == '#')
            out.append('%').append(hex[b >> 4]).append(hex[b & 0x0F]);
        else
            out.append(ch);
    }
    return out;
}

QString pathOnly(const QByteArray &target)
{
    const qsizetype query = target.indexOf('?');
    return QString::fromUtf8(query < 0 ? target : target.left(query));
}

size_t collectBody(char *data, size_t size, size_t count, void *userData)
{
    auto *body = static_cast<QByteArray *>(userData);
    const size_t n = size * count;
    if (body->size() + static_cast<qsizetype>(n) > MAX_HTTP_BODY)
        return 0;
    body->append(data, static_cast<qsizetype>(n));
    return n;
}

size_t discard(char *, size_t size, size_t count, void *)
{
    return size * count;
}

void setCommonOptions(CURL *c, char *errorBuffer, long lowSpeedTime)
{
    errorBuffer[0] = '\0';
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_NOPROXY, "*"); // the box is on the home network, never behind a proxy
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, CONNECT_TIMEOUT_S);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, LOW_SPEED_LIMIT_BPS);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, lowSpeedTime);
}

// ---------------------------------------------------------------------------------------------

class CurlFtpSession final : public FtpSession
{
public:
    CurlFtpSession(QString address, QString host, int port)
        : m_address(std::move(address)), m_host(std::move(host)), m_port(port), m_curl(newHandle())
    {
    }

    ~CurlFtpSession() override { dropConnection(); }

    CurlFtpSession(const CurlFtpSession &) = delete;
    CurlFtpSession &operator=(const CurlFtpSession &) = delete;

    void logIn()
    {
        CURL *c = prepare(QString(), true, QStringLiteral("FTP-Anmeldung"));
        curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
        perform(c, QStringLiteral("FTP-Anmeldung"));
    }

    void setWhileWaiting(WhileWaiting mode) override { m_mode = mode; }

    void changeDir(const QString &dir) override
    {
        QString target = absolutePath(dir);
        while (target.size() > 1 && target.endsWith(QLatin1Char('/')))
            target.chop(1);
        const QString what = QStringLiteral("Verzeichniswechsel nach \"%1\"").arg(dir);
        CURL *c = prepare(target, true, what);
        curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
        perform(c, what);
        m_cwd = target.startsWith(QLatin1Char('/')) ? QDir::cleanPath(target) : target;
    }

    void retrieve(const QString &remote, const QString &localPath, const TransferProgress &progress) override
    {
        const QString path = absolutePath(remote);
        const QString what = QStringLiteral("Download von \"%1\"").arg(path);
        CURL *c = prepare(path, false, what);
        QSaveFile file(localPath);
        file.setDirectWriteFallback(false);
        if (!file.open(QIODevice::WriteOnly))
            throw FileError(QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden: %2")
                                .arg(localPath, file.errorString()));
        struct Sink
        {
            QSaveFile *file;
            bool failed = false;
        } sink{&file};
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(
            c, CURLOPT_WRITEFUNCTION, +[](char *data, size_t size, size_t count, void *userData) -> size_t {
                auto *s = static_cast<Sink *>(userData);
                const auto n = static_cast<qint64>(size * count);
                if (s->file->write(data, n) != n) {
                    s->failed = true;
                    return 0;
                }
                return size * count;
            });
        try {
            perform(c, what, progress, false);
        } catch (const TransferError &) {
            if (sink.failed)
                throw FileError(QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden: %2")
                                    .arg(localPath, file.errorString()));
            throw;
        }
        if (!file.commit())
            throw FileError(QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden: %2")
                                .arg(localPath, file.errorString()));
    }

    void store(const QString &localPath, const QString &remote, const TransferProgress &progress) override
    {
        QFile file(localPath);
        if (!file.open(QIODevice::ReadOnly))
            throw FileError(QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden: %2")
                                .arg(localPath, file.errorString()));
        const QString path = absolutePath(remote);
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        const QString name = path.mid(slash + 1);
        if (name.isEmpty())
            throw TransferError(QStringLiteral("Box %1: \"%2\" ist kein Dateiname.").arg(m_address, remote),
                                CURLE_URL_MALFORMAT);
        const QString temporaryName = name + QLatin1String(UPLOAD_SUFFIX);
        const QString temporaryPath = path.left(slash + 1) + temporaryName;
        const QString what = QStringLiteral("Upload nach \"%1\"").arg(path);
        CURL *c = prepare(temporaryPath, false, what);

        // After the upload the box is still in the file's folder (one CWD per request), so the
        // rename works on plain names.
        Slist rename;
        rename.reset(
            curl_slist_append(rename.release(), QByteArray("RNFR " + temporaryName.toUtf8()).constData()));
        rename.reset(curl_slist_append(rename.release(), QByteArray("RNTO " + name.toUtf8()).constData()));
        curl_easy_setopt(c, CURLOPT_POSTQUOTE, rename.get());

        struct Source
        {
            QFile *file;
            bool failed = false;
        } source{&file};
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(file.size()));
        curl_easy_setopt(c, CURLOPT_READDATA, &source);
        curl_easy_setopt(
            c, CURLOPT_READFUNCTION, +[](char *buffer, size_t size, size_t count, void *userData) -> size_t {
                auto *s = static_cast<Source *>(userData);
                const qint64 n = s->file->read(buffer, static_cast<qint64>(size * count));
                if (n < 0) {
                    s->failed = true;
                    return CURL_READFUNC_ABORT;
                }
                return static_cast<size_t>(n);
            });
        try {
            perform(c, what, progress, true);
        } catch (const BoxvisorError &) {
            removeLeftover(temporaryPath);
            if (source.failed)
                throw FileError(QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden: %2")
                                    .arg(localPath, file.errorString()));
            throw;
        }
    }

    QStringList listNames(const QString &mask) override
    {
        const QString what = QStringLiteral("Auflistung von \"%1\"").arg(mask);
        rejectControlBytes(mask, what);
        CURL *c = prepare(m_cwd, true, what);
        const QByteArray command = mask.isEmpty() ? QByteArray("NLST") : QByteArray("NLST " + mask.toUtf8());
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, command.constData());
        QByteArray body;
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(
            c, CURLOPT_WRITEFUNCTION, +[](char *data, size_t size, size_t count, void *userData) -> size_t {
                auto *b = static_cast<QByteArray *>(userData);
                const size_t n = size * count;
                if (b->size() + static_cast<qsizetype>(n) > MAX_LISTING)
                    return 0;
                b->append(data, static_cast<qsizetype>(n));
                return n;
            });
        perform(c, what);
        QStringList names;
        for (QByteArray line : body.split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            if (!line.isEmpty())
                names.append(QString::fromUtf8(line));
        }
        return names;
    }

    qint64 size(const QString &remote) override
    {
        const QString path = absolutePath(remote);
        const QString what = QStringLiteral("Größenabfrage von \"%1\"").arg(path);
        CURL *c = prepare(path, false, what);
        curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
        try {
            perform(c, what);
        } catch (const TransferError &e) {
            // A refused SIZE (no such file, a folder) reads as "unknown", as callers expect.
            if (e.code() == CURLE_REMOTE_FILE_NOT_FOUND)
                return -1;
            throw;
        }
        curl_off_t length = -1;
        if (curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
            return -1;
        return length < 0 ? -1 : static_cast<qint64>(length);
    }

    void abort() override
    {
        // libcurl ends a cut transfer by closing the data connection. Between transfers the box
        // gets a real ABOR (it answers that there is nothing to abort), but only from the
        // session's own thread: another thread must not use the handle.
        if (m_busy || std::this_thread::get_id() != m_ownerThread) {
            m_transfer.abortRequested = true;
            return;
        }
        sendCommand("ABOR");
    }

    void quit() override
    {
        if (m_busy) {
            m_pendingEnd = Ending::Quit;
            m_transfer.abortRequested = true;
            return;
        }
        if (!m_curl)
            return;
        // Cleaning up the handle sends QUIT on the open control connection and waits for the answer.
        CURL *handle = m_curl.release();
        runWaiting([handle] { curl_easy_cleanup(handle); }, m_mode, nullptr);
    }

    void disconnect() override
    {
        if (m_busy) {
            if (m_pendingEnd != Ending::Quit)
                m_pendingEnd = Ending::Disconnect;
            m_transfer.abortRequested = true;
            return;
        }
        dropConnection();
    }

private:
    enum class Ending
    {
        None,
        Quit,
        Disconnect
    };

    // Closes the control connection without QUIT: with the socket shut down, the QUIT that
    // cleaning up would send fails at once.
    void dropConnection() noexcept
    {
        if (!m_curl)
            return;
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(m_curl.get(), CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
            socket != CURL_SOCKET_BAD)
            ::shutdown(socket, SHUT_RDWR);
        m_curl.reset();
    }

    static void rejectControlBytes(const QString &text, const QString &what)
    {
        for (const QChar c : text) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                throw TransferError(QStringLiteral("%1: der Name enthält Steuerzeichen.").arg(what),
                                    CURLE_URL_MALFORMAT);
        }
    }

    QString absolutePath(const QString &remote) const
    {
        if (remote.startsWith(QLatin1Char('/')) || m_cwd.isEmpty())
            return remote;
        if (m_cwd.endsWith(QLatin1Char('/')))
            return m_cwd + remote;
        return m_cwd + QLatin1Char('/') + remote;
    }

    // An absolute box path starts with "%2F" in the URL, so that libcurl changes to it from
    // the root and not from the login folder.
    QByteArray urlFor(const QString &path, bool folder) const
    {
        static const char hex[] = "0123456789ABCDEF";
        QByteArray url = "ftp://" + m_host.toUtf8() + ':' + QByteArray::number(m_port) + '/';
        const QByteArray bytes = path.toUtf8();
        qsizetype i = 0;
        if (bytes.startsWith('/')) {
            url += "%2F";
            i = 1;
        }
        for (; i < bytes.size(); ++i) {
            const char ch = bytes[i];
            const bool plain = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                               (ch >= '0' && ch <= '9') || ch == '-' || ch == '.' || ch == '_' || ch == '~' ||
                               ch == '/';
            if (plain) {
                url += ch;
            } else {
                const auto b = static_cast<unsigned char>(ch);
                url.append('%').append(hex[b >> 4]).append(hex[b & 0x0F]);
            }
        }
        if (folder && !url.endsWith('/'))
            url += '/';
        return url;
    }

    CURL *prepare(const QString &path, bool folder, const QString &what)
    {
        if (m_busy)
            throw TransferError(QStringLiteral("Box %1: %2 nicht möglich, die FTP-Verbindung ist belegt.")
                                    .arg(m_address, what),
                                CURLE_AGAIN);
        if (!m_curl)
            throw TransferError(QStringLiteral("Box %1: %2 nicht möglich, die FTP-Verbindung ist beendet.")
                                    .arg(m_address, what),
                                CURLE_FAILED_INIT);
        rejectControlBytes(path, what);
        m_url = urlFor(path, folder);
        CURL *c = m_curl.get();
        curl_easy_reset(c); // keeps the open connection
        setCommonOptions(c, m_error, FTP_LOW_SPEED_TIME_S);
        curl_easy_setopt(c, CURLOPT_URL, m_url.constData());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(c, CURLOPT_USERNAME, FTP_USER);
        curl_easy_setopt(c, CURLOPT_PASSWORD, FTP_PASSWORD);
        curl_easy_setopt(c, CURLOPT_FTPPORT,
                         "-"); // active data connections, from the control connection's address
        curl_easy_setopt(c, CURLOPT_FTP_USE_EPRT, 0L);
        curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
        curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, 0L);
        curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, FTP_RESPONSE_TIMEOUT_S);
        curl_easy_setopt(c, CURLOPT_ACCEPTTIMEOUT_MS, FTP_ACCEPT_TIMEOUT_MS);
        // Without a body, libcurl reports what it learnt (size, date) as header lines: not wanted.
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &discard);
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &discard);
        return c;
    }

    void perform(CURL *c, const QString &what, const TransferProgress &progress = {}, bool upload = false)
    {
        m_transfer.start(progress, upload);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &onTransferInfo);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &m_transfer);
        CURLcode rc = CURLE_OK;
        m_busy = true;
        try {
            runWaiting([&rc, c] { rc = curl_easy_perform(c); }, m_mode, &m_transfer);
        } catch (...) {
            m_busy = false;
            throw;
        }
        m_busy = false;
        long response = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response);

        const Ending ending = m_pendingEnd.exchange(Ending::None);
        if (ending == Ending::Quit)
            quit();
        else if (ending == Ending::Disconnect)
            dropConnection();

        if (m_transfer.progressError)
            std::rethrow_exception(m_transfer.progressError);
        if (rc == CURLE_ABORTED_BY_CALLBACK || (rc != CURLE_OK && ending != Ending::None))
            throw CancelledError(QStringLiteral("Box %1: %2 abgebrochen.").arg(m_address, what));
        if (rc == CURLE_OK)
            return;
        QString reason = curlReason(rc, m_error);
        if (response >= 400)
            reason += QStringLiteral(", Antwort %1").arg(response);
        throw TransferError(QStringLiteral("Box %1: %2 fehlgeschlagen (%3).").arg(m_address, what, reason),
                            rc);
    }

    // Best effort: a command on the control connection whose answer changes nothing for us.
    void sendCommand(const char *command) noexcept
    {
        if (!m_curl)
            return;
        try {
            CURL *c = prepare(QString(), true, QString());
            Slist commands(curl_slist_append(nullptr, command));
            curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
            curl_easy_setopt(c, CURLOPT_QUOTE, commands.get());
            perform(c, QString());
        } catch (...) {
        }
    }

    // Best effort: a failed or cut upload should not leave its temporary file on the box.
    void removeLeftover(const QString &temporaryPath) noexcept
    {
        if (!m_curl || m_busy)
            return;
        try {
            const qsizetype slash = temporaryPath.lastIndexOf(QLatin1Char('/'));
            CURL *c = prepare(temporaryPath.left(slash + 1), true, QString());
            // Commands given this way run before libcurl changes folder: name the file in full.
            Slist remove(
                curl_slist_append(nullptr, QByteArray("DELE " + temporaryPath.toUtf8()).constData()));
            curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
            curl_easy_setopt(c, CURLOPT_QUOTE, remove.get());
            perform(c, QString());
        } catch (...) {
        }
    }

    QString m_address;
    QString m_host;
    int m_port;
    CurlHandle m_curl;
    QString m_cwd; // empty: the login folder
    std::thread::id m_ownerThread = std::this_thread::get_id();
    QByteArray m_url;
    WhileWaiting m_mode = WhileWaiting::HoldUserInput;
    std::atomic<bool> m_busy{false};
    std::atomic<Ending> m_pendingEnd{Ending::None};
    TransferState m_transfer;
    char m_error[CURL_ERROR_SIZE] = {};
};

// ---------------------------------------------------------------------------------------------

class CurlBoxClient final : public BoxClient
{
public:
    CurlBoxClient(std::function<QString()> address, std::function<int()> ftpPort)
        : m_address(std::move(address)), m_ftpPort(std::move(ftpPort))
    {
    }

    QString address() const override { return m_address ? m_address().trimmed() : QString(); }

    QByteArray httpGet(const QByteArray &target, AfterRequest after) override
    {
        const QString host = checkedAddress(address());
        const QByteArray url = "http://" + host.toUtf8() + '/';
        const QByteArray requestTarget = requestLineTarget(target);

        // A request started while another one waits (from a timer during the wait) gets a
        // handle of its own.
        CurlHandle temporary;
        CURL *c = nullptr;
        if (m_httpBusy) {
            temporary = newHandle();
            c = temporary.get();
        } else {
            if (!m_http)
                m_http = newHandle();
            c = m_http.get();
        }
        char error[CURL_ERROR_SIZE] = {};
        QByteArray body;
        curl_easy_reset(c);
        setCommonOptions(c, error, HTTP_LOW_SPEED_TIME_S);
        curl_easy_setopt(c, CURLOPT_URL, url.constData());
        curl_easy_setopt(c, CURLOPT_REQUEST_TARGET, requestTarget.constData());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(c, CURLOPT_TIMEOUT, HTTP_TOTAL_TIMEOUT_S);
        curl_easy_setopt(c, CURLOPT_FORBID_REUSE, after == AfterRequest::Close ? 1L : 0L);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &collectBody);

        CURLcode rc = CURLE_OK;
        const bool owner = !temporary;
        if (owner)
            m_httpBusy = true;
        try {
            runWaiting([&rc, c] { rc = curl_easy_perform(c); }, WhileWaiting::HoldUserInput, nullptr);
        } catch (...) {
            if (owner)
                m_httpBusy = false;
            throw;
        }
        if (owner)
            m_httpBusy = false;

        if (rc != CURLE_OK)
            throw TransferError(QStringLiteral("Box %1: HTTP-Anfrage %2 fehlgeschlagen (%3).")
                                    .arg(host, pathOnly(target), curlReason(rc, error)),
                                rc);
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 400)
            throw TransferError(QStringLiteral("Box %1: HTTP-Anfrage %2 fehlgeschlagen (HTTP %3).")
                                    .arg(host, pathOnly(target))
                                    .arg(status),
                                static_cast<int>(status));
        return body;
    }

    std::unique_ptr<FtpSession> ftpConnect() override
    {
        const QString box = checkedAddress(address());
        const int configured = m_ftpPort ? m_ftpPort() : 0;
        const int port = configured > 0 && configured < 65536 ? configured : DEFAULT_BOX_FTP_PORT;
        auto session = std::make_unique<CurlFtpSession>(box, hostPart(box), port);
        session->logIn();
        return session;
    }

private:
    std::function<QString()> m_address;
    std::function<int()> m_ftpPort;
    CurlHandle m_http;
    bool m_httpBusy = false;
};
} // namespace

std::unique_ptr<BoxClient> makeCurlBoxClient(std::function<QString()> address)
{
    return std::make_unique<CurlBoxClient>(std::move(address), std::function<int()>{});
}

std::unique_ptr<BoxClient> makeCurlBoxClient(std::function<QString()> address, std::function<int()> ftpPort)
{
    return std::make_unique<CurlBoxClient>(std::move(address), std::move(ftpPort));
}
