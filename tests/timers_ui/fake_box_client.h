#pragma once

// A box client held in memory for the timer window's tests: remote files in a map, every GET
// and every connection recorded, and a switch that makes the box unreachable.

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>

#include "app/box_client.h"
#include "common/error.h"

class FakeBoxClient final : public BoxClient
{
public:
    QHash<QString, QByteArray> files; // remote path -> content
    QList<QByteArray> requests;
    int connects = 0;
    bool reachable = true;

    QString address() const override { return QStringLiteral("192.0.2.1"); }

    QByteArray httpGet(const QByteArray &target, AfterRequest) override
    {
        if (!reachable)
            throw TransferError(QStringLiteral("Die Box 192.0.2.1 antwortet nicht."), 7);
        requests.append(target);
        return QByteArrayLiteral("+ok");
    }

    std::unique_ptr<FtpSession> ftpConnect() override
    {
        ++connects;
        if (!reachable)
            throw TransferError(QStringLiteral("Die Box 192.0.2.1 antwortet nicht."), 7);
        return std::make_unique<Session>(*this);
    }

private:
    class Session final : public FtpSession
    {
    public:
        explicit Session(FakeBoxClient &box) : m_box(box) {}
        void changeDir(const QString &) override {}
        void retrieve(const QString &remote, const QString &localPath,
                      const TransferProgress &progress) override
        {
            if (!m_box.files.contains(remote))
                throw TransferError(QStringLiteral("550 ") + remote, 550);
            const QByteArray data = m_box.files.value(remote);
            if (progress)
                progress(data.size(), data.size());
            QFile file(localPath);
            if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
                throw FileError(QStringLiteral("cannot write ") + localPath);
        }
        void store(const QString &localPath, const QString &remote, const TransferProgress &) override
        {
            QFile file(localPath);
            if (!file.open(QIODevice::ReadOnly))
                throw FileError(QStringLiteral("cannot read ") + localPath);
            m_box.files.insert(remote, file.readAll());
        }
        QStringList listNames(const QString &) override { return {}; }
        qint64 size(const QString &remote) override { return m_box.files.value(remote).size(); }
        void abort() override {}
        void quit() override {}
        void disconnect() override {}

    private:
        FakeBoxClient &m_box;
    };
};
