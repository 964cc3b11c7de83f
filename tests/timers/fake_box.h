#pragma once

// A box for the channel settings tests: FTP downloads are copies of local files, every call is
// recorded, and a failure can be planted.

#include <QFile>
#include <QHash>
#include <QString>
#include <QStringList>

#include "app/box_client.h"
#include "common/error.h"

class FakeFtpSession final : public FtpSession
{
public:
    explicit FakeFtpSession(class FakeBoxClient &box) : m_box(box) {}
    void changeDir(const QString &) override {}
    void retrieve(const QString &remote, const QString &localPath, const TransferProgress &) override;
    void store(const QString &, const QString &, const TransferProgress &) override {}
    QStringList listNames(const QString &) override { return {}; }
    qint64 size(const QString &) override { return -1; }
    void abort() override;
    void quit() override;
    void disconnect() override {}

private:
    FakeBoxClient &m_box;
};

class FakeBoxClient final : public BoxClient
{
public:
    QString address() const override { return QStringLiteral("127.0.0.2"); }
    QByteArray httpGet(const QByteArray &target, AfterRequest) override
    {
        calls.append(QStringLiteral("GET ") + QString::fromLatin1(target));
        return {};
    }
    std::unique_ptr<FtpSession> ftpConnect() override
    {
        calls.append(QStringLiteral("connect"));
        if (refuseConnection)
            throw TransferError(QStringLiteral("Keine Verbindung zu 127.0.0.2: Connection refused"), 7);
        return std::make_unique<FakeFtpSession>(*this);
    }

    // Remote path -> local file that the download copies; a remote path missing here fails the
    // transfer as a real server would, unless silentMissing is set (the download then does nothing).
    QHash<QString, QString> files;
    bool refuseConnection = false;
    bool silentMissing = false;
    QStringList calls;
};

inline void FakeFtpSession::retrieve(const QString &remote, const QString &localPath,
                                     const TransferProgress &)
{
    m_box.calls.append(QStringLiteral("RETR ") + remote);
    const auto it = m_box.files.constFind(remote);
    if (it == m_box.files.constEnd()) {
        if (m_box.silentMissing)
            return;
        throw TransferError(QStringLiteral("550 ") + remote + QStringLiteral(": No such file"), 550);
    }
    QFile::remove(localPath);
    if (!QFile::copy(it.value(), localPath))
        throw TransferError(QStringLiteral("cannot write ") + localPath, 23);
}

inline void FakeFtpSession::abort()
{
    m_box.calls.append(QStringLiteral("ABOR"));
}

inline void FakeFtpSession::quit()
{
    m_box.calls.append(QStringLiteral("QUIT"));
}
