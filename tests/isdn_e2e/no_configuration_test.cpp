// The call monitor with the real CAPI library but no library configuration at all: no
// $HOME/.capi20rc, no /etc/capi20.conf, no ISDN adapter. Its own program, because the library
// reads its configuration once per process.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "capi/capi_monitor.h"

namespace {

TEST(NoCapiConfiguration, StartMonitorFailsWithTheDriverStateText)
{
    if (QFile::exists(QStringLiteral("/etc/capi20.conf")))
        GTEST_SKIP() << "/etc/capi20.conf exists on this machine";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("HOME", QFile::encodeName(home.path()));

    bool stateChanged = false;
    TCapiMonitor monitor;
    monitor.OnStateChange = [&](bool, bool) { stateChanged = true; };
    EXPECT_FALSE(monitor.StartMonitor(1, 0));
    // 0x9003: library loaded, driver not installed; 0x9002 where the library is missing.
    if (monitor.Error() == 0x9002)
        EXPECT_EQ(monitor.ErrorString(), QStringLiteral("File \"CAPI2032.DLL\" not found."));
    else
        EXPECT_EQ(monitor.ErrorString(), QStringLiteral("CAPI 2.0 (32 Bit) not installed."));
    EXPECT_TRUE(monitor.Error() == 0x9003 || monitor.Error() == 0x9002) << std::hex << monitor.Error();
    EXPECT_EQ(monitor.Engine(), nullptr);
    EXPECT_FALSE(stateChanged) << "a failed start raises no event";
}

} // namespace
