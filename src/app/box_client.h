#pragma once

// The one client that talks to the set-top box: plain HTTP GETs whose target the caller builds,
// and FTP sessions as "root" in binary mode with active data connections. Callers wait for each
// request; implementations keep the window painting meanwhile and end an unreachable box with
// the client's error within seconds. Errors are TransferError (common/error.h).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Bytes done and total (-1 when unknown); return false to abort the transfer.
using TransferProgress = std::function<bool(qint64 done, qint64 total)>;

// Whether the HTTP connection is closed after the request or left open for the next one.
enum class AfterRequest
{
    Close,
    KeepOpen
};

// What the waiting thread does with user input (keys, clicks) while a request runs: hold it
// until the request has ended (the window still repaints), or handle it, for windows that
// offer an abort button during long downloads.
enum class WhileWaiting
{
    HoldUserInput,
    HandleUserInput
};

// One logged-in FTP connection. Calls come from one thread at a time; a call made while another
// one of the same session waits (from an event handled meanwhile) fails with TransferError,
// except abort(), quit() and disconnect(). Do not destroy a session while one of its calls waits.
class FtpSession
{
public:
    virtual ~FtpSession() = default;

    // Applies to the following calls of this session; the default holds user input.
    virtual void setWhileWaiting(WhileWaiting mode) { (void)mode; }

    virtual void changeDir(const QString &dir) = 0;
    // Downloads remote (absolute or relative to the current folder) over localPath; the local
    // file is replaced only by a complete download.
    virtual void retrieve(const QString &remote, const QString &localPath,
                          const TransferProgress &progress = {}) = 0;
    // Uploads localPath to remote + ".upload", then renames that over remote: the box's file is
    // replaced only by a complete upload, and a failed one leaves no temporary file behind.
    virtual void store(const QString &localPath, const QString &remote,
                       const TransferProgress &progress = {}) = 0;
    // Name-only listing (NLST) of mask in the current folder.
    virtual QStringList listNames(const QString &mask = {}) = 0;
    // Size in bytes, or -1 when the box refuses to tell (no such file, a folder).
    virtual qint64 size(const QString &remote) = 0;
    // ABOR: stops a transfer in progress (from a progress callback or another thread); the
    // transfer then throws CancelledError. Between transfers it sends ABOR, which stops nothing;
    // sessions end with abort(), quit().
    virtual void abort() = 0;
    // QUIT, then disconnect. Called during a transfer (from its progress callback), it aborts
    // the transfer and closes the session when the transfer has ended.
    virtual void quit() = 0;
    // Drops the connection without QUIT (same rule during a transfer).
    virtual void disconnect() = 0;
};

class BoxClient
{
public:
    virtual ~BoxClient() = default;

    // The box address as currently configured (host or host:port as the user typed it).
    virtual QString address() const = 0;
    // GET "http://" + address + target. target starts with "/" and is sent as built, except
    // that bytes that may not appear in a request line are percent-encoded. Returns the body.
    virtual QByteArray httpGet(const QByteArray &target, AfterRequest after = AfterRequest::Close) = 0;
    // Connects and logs in; the session ends with quit() or when destroyed.
    virtual std::unique_ptr<FtpSession> ftpConnect() = 0;
};

// Makes an outside value (a calling number, a name, a mail subject) safe inside a query value:
// every byte that is not an unreserved URL character is percent-encoded, except '%' where it
// already starts a "%XX" escape (the callers' own "%20", "%0a", ",%20"). The value can then
// never end its parameter ('&', '#') or break the request line (blank, CR, LF).
QByteArray encodeQueryValue(const QString &text);
