// Runs in its own process: the CAPI library reads its configuration once per process, so this
// program must be the first in its process to touch the library.

#include "capi/capi_monitor.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "capi/capi_binding.h"

TEST(CapiWithoutConfiguration, StartMonitorReportsTheMissingDriver)
{
    if (QFileInfo::exists(QStringLiteral("/etc/capi20.conf")))
        GTEST_SKIP() << "/etc/capi20.conf exists on this machine";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));

    TCapiMonitor monitor;
    int events = 0;
    monitor.OnStateChange = [&](bool, bool) { ++events; };
    EXPECT_FALSE(monitor.StartMonitor(1, 0));
    qputenv("HOME", oldHome);

    EXPECT_TRUE(monitor.Error() == 0x9003 || monitor.Error() == 0x9002) << std::hex << monitor.Error();
    EXPECT_EQ(monitor.ErrorString(), CapiDriverStateText(int(monitor.Error() - 0x9000)));
    EXPECT_FALSE(monitor.ErrorString().isEmpty());
    EXPECT_EQ(monitor.Engine(), nullptr);
    EXPECT_EQ(events, 0);

    // The state is final for the run: a second start does not try the library again.
    EXPECT_FALSE(monitor.StartMonitor(1, 0));
    EXPECT_EQ(monitor.Error(), 0x9000u + quint32(CapiDriverState()));
}
