#pragma once

// Puts the in-process driver in place of the library for one test and waits on what it records.

#include <gtest/gtest.h>

#include <memory>

#include <QTest>

#include "capi/capi_binding.h"
#include "fake_capi_driver.h"

namespace capitest {

// Indications as the exchange sends them.
inline QByteArray connectInd(quint32 plci, quint16 cip, const QByteArray &called, quint8 type,
                             const QByteArray &calling, quint16 number = 0x65)
{
    return message(0x0282, number,
                   le32(plci) + le16(cip) + cstruct(char(0x80) + called) +
                       cstruct(QByteArray(1, char(type)) + char(0x80) + calling) + QByteArray(2, '\0') +
                       hex("038090a3") + QByteArray(3, '\0'));
}
inline QByteArray disconnectInd(quint32 plci, quint16 reason)
{
    return message(0x0482, 0x6b, le32(plci) + le16(reason));
}
inline QByteArray connectActiveInd(quint32 plci)
{
    return message(0x0382, 0x66, le32(plci) + hex("000000"));
}
inline QByteArray connectB3Ind(quint32 ncci)
{
    return message(0x8282, 0x67, le32(ncci) + hex("00"));
}
inline QByteArray connectB3ActiveInd(quint32 ncci)
{
    return message(0x8382, 0x68, le32(ncci) + hex("00"));
}
inline QByteArray disconnectB3Ind(quint32 ncci)
{
    return message(0x8482, 0x6a, le32(ncci) + le16(0) + hex("00"));
}
inline QByteArray dataB3Ind(quint32 ncci, quint16 handle)
{
    return message(0x8682, 0x69, le32(ncci) + le32(0) + le16(0) + le16(handle) + le16(0));
}

// A DISCONNECT_IND for a PLCI nobody has: its DISCONNECT_RESP shows that everything delivered
// before it has been handled.
constexpr quint32 MARKER_PLCI = 0x7F7F01;

class CapiFakeDriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetCapiDriverOpener([f = fake]() -> std::shared_ptr<CapiDriverApi> { return f; });
    }
    void TearDown() override { SetCapiDriverOpener({}); }

    bool waitForSent(int count, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return fake->sentCount() >= count; }, ms);
    }
    bool waitForCommand(quint16 command, int count, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return fake->sent(command).size() >= count; }, ms);
    }
    // Delivers a marker and waits until it has been handled.
    void settle()
    {
        const int before = int(markerAnswers().size());
        fake->deliver(disconnectInd(MARKER_PLCI, 0));
        ASSERT_TRUE(QTest::qWaitFor([&] { return markerAnswers().size() > before; }, 5000));
    }
    QList<QByteArray> markerAnswers() const
    {
        QList<QByteArray> r;
        for (const QByteArray &m : fake->sent(0x0483))
            if (dwordAt(m, 8) == MARKER_PLCI)
                r.append(m);
        return r;
    }
    // Sent messages other than marker answers, as "CMD:id" with the PLCI/NCCI.
    QStringList sentSummary() const
    {
        QStringList r;
        for (const QByteArray &m : fake->sent()) {
            if (commandOf(m) == 0x0483 && dwordAt(m, 8) == MARKER_PLCI)
                continue;
            r << QStringLiteral("%1:%2").arg(commandOf(m), 4, 16, QLatin1Char('0')).arg(dwordAt(m, 8), 0, 16);
        }
        return r;
    }

    std::shared_ptr<FakeCapiDriver> fake = std::make_shared<FakeCapiDriver>();
};

} // namespace capitest
