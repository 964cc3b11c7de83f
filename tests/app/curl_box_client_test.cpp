#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>

#include "app/box_client.h"
#include "app/curl_box_client.h"
#include "common/error.h"
#include "support/simbox.h"

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(data), data.size());
}

QByteArray allByteValues(int repeat)
{
    QByteArray data;
    for (int r = 0; r < repeat; ++r)
        for (int b = 0; b < 256; ++b)
            data.append(static_cast<char>(b));
    return data;
}

class CurlBoxClientTest : public ::testing::Test
{
protected:
    SimBox box;
    std::unique_ptr<BoxClient> client = makeCurlBoxClient([this] { return box.address(); });
    QTemporaryDir local;
};
} // namespace

TEST_F(CurlBoxClientTest, MessageRequestArrivesByteForByte)
{
    const QByteArray target = "/cgi-bin/xmessage?timeout=10&caption=Ein%20Anruf%20kommt...&body=Anrufer:%200301234%20:%20kein%20Name%20im%20Telefonbuch";
    EXPECT_EQ(client->httpGet(target), "+ok");
    EXPECT_EQ(box.requests(), QList<QByteArray>{target});
    EXPECT_EQ(box.requestLines(), QList<QByteArray>{"GET " + target + " HTTP/1.1"});
    const QJsonObject message = box.state().value(QStringLiteral("message")).toObject();
    EXPECT_EQ(message.value(QStringLiteral("caption")).toString(), QStringLiteral("Ein Anruf kommt..."));
    EXPECT_EQ(message.value(QStringLiteral("body")).toString(), QStringLiteral("Anrufer: 0301234 : kein Name im Telefonbuch"));
    EXPECT_EQ(message.value(QStringLiteral("timeout")).toInt(), 10);
}

TEST_F(CurlBoxClientTest, StoreThenRetrieveKeepsEveryByte)
{
    const QByteArray data = allByteValues(64);
    writeFile(local.filePath(QStringLiteral("up.bin")), data);
    auto ftp = client->ftpConnect();
    ftp->store(local.filePath(QStringLiteral("up.bin")), QStringLiteral("/var/tuxbox/config/enigma/timer.epl"));
    EXPECT_EQ(readAll(box.filePath(QStringLiteral("/var/tuxbox/config/enigma/timer.epl"))), data);
    ftp->retrieve(QStringLiteral("/var/tuxbox/config/enigma/timer.epl"), local.filePath(QStringLiteral("down.bin")));
    EXPECT_EQ(readAll(local.filePath(QStringLiteral("down.bin"))), data);
    ftp->quit();
}
