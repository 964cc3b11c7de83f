// The program on a machine without any CAPI configuration (no $HOME/.capi20rc, no
// /etc/capi20.conf, no ISDN adapter): the call monitor cannot start, and the program must come
// up all the same and keep running.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "support/program_process.h"

TEST(ProgramWithoutCapi, StartsAndKeepsRunning)
{
    if (QFile::exists(QStringLiteral("/etc/capi20.conf")))
        GTEST_SKIP() << "/etc/capi20.conf exists on this machine";

    ProgramProcess program;
    QTemporaryDir home; // no .capi20rc in it
    ASSERT_TRUE(program.isValid() && home.isValid());
    ASSERT_TRUE(ProgramProcess::writeFile(program.startDir() + QStringLiteral("/SMSProvider.txt"),
                                          "[Vodafone D2]; (D);01722278020;160;;UCP\r\n"));
    // The box address points nowhere: nothing in the start-up may depend on it.
    ASSERT_TRUE(ProgramProcess::writeFile(program.programDir() + QStringLiteral("/Boxvisor.ini"),
                                          "[FrmConfig]\nEdtBoxIP=127.0.0.1:9\n"));
    ASSERT_TRUE(program.start(home.path()));

    // The main window runs its whole start-up (the first activation comes after the failed
    // monitor start in its creation) ...
    EXPECT_TRUE(program.waitForOutput("start-up done")) << program.output().toStdString();
    // ... and the program is still there afterwards.
    QProcess &process = program.process();
    EXPECT_FALSE(process.waitForFinished(500)) << "exit code " << process.exitCode() << "\n"
                                               << program.output().toStdString();
    EXPECT_EQ(process.state(), QProcess::Running);
}
