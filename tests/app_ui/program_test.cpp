// The program itself, started as a process against the simulated exchange and box: proves that
// the program entry wires the call monitor, the phone book and the box client together.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "support/simbox.h"
#include "support/simexchange.h"
#include "support/test_paths.h"

namespace {

void writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(text);
}

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

    // The settings file lives next to the program file, so the program runs from a copy.
    QTemporaryDir programDir;
    QTemporaryDir startDir;
    ASSERT_TRUE(programDir.isValid() && startDir.isValid());
    const QString program = programDir.filePath(QStringLiteral("boxvisor"));
    ASSERT_TRUE(QFile::copy(testpaths::binaryDir() + QStringLiteral("/src/app/ui/boxvisor"), program));
    writeFile(startDir.filePath(QStringLiteral("SMSProvider.txt")),
              "[Vodafone D2]; (D);01722278020;160;;UCP\r\n[E-Plus]; (D);01771167;160;;UCP\r\n");
    writeFile(startDir.filePath(QStringLiteral("contacts.vcf")),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna Becker\r\nTEL;TYPE=HOME:030 1234567\r\nEND:VCARD\r\n");
    // FullName as the name, HomeTelephoneNumber as the number.
    writeFile(programDir.filePath(QStringLiteral("Boxvisor.ini")),
              "[FrmConfig]\nEdtBoxIP=" + box.address().toUtf8() +
                  "\nEdtMsn=41\nChkAllMsn=0\nContactsFile=contacts.vcf\n"
                  "[FrmTelBook]\nCBTelName=28\nCBTelNumber=6\nMatchNotations=1\n");

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), SimExchange::homeDir());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("boxvisor.app.info=true"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(startDir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, {});
    ASSERT_TRUE(process.waitForStarted());
    QByteArray output;
    QObject::connect(&process, &QProcess::readyRead, [&] { output += process.readAll(); });

    ASSERT_TRUE(exchange.waitFor(QStringLiteral("LISTEN_REQ"), 1, 10000))
        << "the main window starts the monitor";
    ASSERT_TRUE(waitUntil([&] { return output.contains("start-up done"); })) << output.toStdString();

    // A call to another MSN is shown but not announced; one to the own MSN is.
    exchange.placeCall(QStringLiteral("301234567"), 0x21, 0x80, QStringLiteral("42"), 16);
    ASSERT_TRUE(exchange.waitFor(QStringLiteral("CONNECT_RESP"), 1, 10000));
    exchange.placeCall(QStringLiteral("301234567"), 0x21, 0x80, QStringLiteral("41"), 16);
    ASSERT_TRUE(waitUntil([&] { return !box.requests().isEmpty(); })) << output.toStdString();

    EXPECT_EQ(box.requests().size(), 1);
    const QJsonObject message = box.state().value(QStringLiteral("message")).toObject();
    EXPECT_EQ(message.value(QStringLiteral("caption")).toString(), QStringLiteral("Ein Anruf kommt..."));
    EXPECT_EQ(message.value(QStringLiteral("body")).toString(),
              QStringLiteral("Anrufer: 0301234567 : Anna Becker"));

    process.kill();
    process.waitForFinished();
}
