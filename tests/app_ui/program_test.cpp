// The program itself, started as a process against the simulated exchange and box: proves that
// the program entry wires the call monitor, the phone book and the box client together.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QTest>

#include "support/program_process.h"
#include "support/simbox.h"
#include "support/simexchange.h"

namespace {

// Runs the event loop until condition holds or ten seconds have passed.
bool waitUntil(const std::function<bool()> &condition)
{
    QDeadlineTimer deadline(10000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

} // namespace

TEST(ProgramTest, IncomingCallReachesTheBoxWithTheNameFromTheContactsFile)
{
    SimExchange exchange; // first: it gives the process (and so the program) its CAPI configuration
    SimBox box;

    ProgramProcess program;
    ASSERT_TRUE(program.isValid());
    ASSERT_TRUE(ProgramProcess::writeFile(
        program.startDir() + QStringLiteral("/SMSProvider.txt"),
        "[Vodafone D2]; (D);01722278020;160;;UCP\r\n[E-Plus]; (D);01771167;160;;UCP\r\n"));
    ASSERT_TRUE(ProgramProcess::writeFile(
        program.startDir() + QStringLiteral("/contacts.vcf"),
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna Becker\r\nTEL;TYPE=HOME:030 1234567\r\nEND:VCARD\r\n"));
    // FullName as the name, HomeTelephoneNumber as the number.
    ASSERT_TRUE(ProgramProcess::writeFile(program.programDir() + QStringLiteral("/Boxvisor.ini"),
                                          "[FrmConfig]\nEdtBoxIP=" + box.address().toUtf8() +
                                              "\nEdtMsn=41\nChkAllMsn=0\nContactsFile=contacts.vcf\n"
                                              "[FrmTelBook]\nCBTelName=28\nCBTelNumber=6\nMatchNotations=1\n"));
    ASSERT_TRUE(program.start(SimExchange::homeDir()));

    ASSERT_TRUE(exchange.waitFor(QStringLiteral("LISTEN_REQ"), 1, 10000))
        << "the main window starts the monitor";
    ASSERT_TRUE(program.waitForOutput("start-up done")) << program.output().toStdString();

    // A call to another MSN is shown but not announced; one to the own MSN is.
    exchange.placeCall(QStringLiteral("301234567"), 0x21, 0x80, QStringLiteral("42"), 16);
    ASSERT_TRUE(exchange.waitFor(QStringLiteral("CONNECT_RESP"), 1, 10000));
    exchange.placeCall(QStringLiteral("301234567"), 0x21, 0x80, QStringLiteral("41"), 16);
    ASSERT_TRUE(waitUntil([&] { return !box.requests().isEmpty(); })) << program.output().toStdString();

    EXPECT_EQ(box.requests().size(), 1);
    const QJsonObject message = box.state().value(QStringLiteral("message")).toObject();
    EXPECT_EQ(message.value(QStringLiteral("caption")).toString(), QStringLiteral("Ein Anruf kommt..."));
    EXPECT_EQ(message.value(QStringLiteral("body")).toString(),
              QStringLiteral("Anrufer: 0301234567 : Anna Becker"));
}
