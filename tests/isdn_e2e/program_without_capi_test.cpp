// The program on a machine without any CAPI configuration (no $HOME/.capi20rc, no
// /etc/capi20.conf, no ISDN adapter): the call monitor cannot start, and the program must come
// up all the same and keep running.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "support/test_paths.h"

namespace {

void writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(text);
}

} // namespace

TEST(ProgramWithoutCapi, StartsAndKeepsRunning)
{
    if (QFile::exists(QStringLiteral("/etc/capi20.conf")))
        GTEST_SKIP() << "/etc/capi20.conf exists on this machine";

    // The settings file lives next to the program file, so the program runs from a copy.
    QTemporaryDir programDir;
    QTemporaryDir startDir;
    QTemporaryDir home; // no .capi20rc in it
    ASSERT_TRUE(programDir.isValid() && startDir.isValid() && home.isValid());
    const QString program = programDir.filePath(QStringLiteral("boxvisor"));
    ASSERT_TRUE(QFile::copy(testpaths::binaryDir() + QStringLiteral("/src/app/ui/boxvisor"), program));
    writeFile(startDir.filePath(QStringLiteral("SMSProvider.txt")),
              "[Vodafone D2]; (D);01722278020;160;;UCP\r\n");
    // The box address points nowhere: nothing in the start-up may depend on it.
    writeFile(programDir.filePath(QStringLiteral("Boxvisor.ini")), "[FrmConfig]\nEdtBoxIP=127.0.0.1:9\n");

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("boxvisor.app.info=true"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(startDir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, {});
    ASSERT_TRUE(process.waitForStarted());
    QByteArray output;
    QObject::connect(&process, &QProcess::readyRead, [&] { output += process.readAll(); });

    // The main window runs its whole start-up (the first activation comes after the failed
    // monitor start in its creation) ...
    const bool started = QTest::qWaitFor([&] { return output.contains("start-up done"); }, 15000);
    EXPECT_TRUE(started) << output.toStdString();
    // ... and the program is still there afterwards.
    EXPECT_FALSE(process.waitForFinished(500)) << "exit code " << process.exitCode() << "\n"
                                               << output.toStdString();
    EXPECT_EQ(process.state(), QProcess::Running);

    process.kill();
    process.waitForFinished();
}
