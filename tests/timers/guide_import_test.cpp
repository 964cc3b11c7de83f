#include "timers/guide_import.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "common/error.h"
#include "test_files.h"
#include "timers/box_time.h"
#include "timers/channel_settings.h"
#include "timers/timer_list.h"

namespace {

BoxClock winterClock()
{
    const QDateTime january(QDate(2024, 1, 15), QTime(12, 0), Qt::UTC);
    return BoxClock(QTimeZone("Europe/Berlin"), [january] { return january; });
}

ChannelSettings germanSettings()
{
    ChannelSettings settings;
    settings.bouquets = {
        {QStringLiteral("Das Erste"), {}}, // a bouquet name is no channel
        {QStringLiteral("Favourites"),
         {QStringLiteral("2EE3:0441:0001:00C00000: Das Erste"),
          QStringLiteral("2EE3:0441:0001:00C00000: Das Erste"),
          QStringLiteral("2E9B:0441:0001:00C00000: SAT.1"),
          QStringLiteral("2F08:0441:0001:00C00000: Super RTL"),
          QStringLiteral("6D66:0437:0001:00C00000: ZDF"), QStringLiteral("0001:0001:0001:00C00000: ard"),
          QStringLiteral("0002:0001:0001:00C00000: Zürich ä")}},
    };
    return settings;
}

// One programme block as the guide writes it, with the guide's two-TAB indentation.
QByteArray block(const char *name, const char *channel, const char *startDate, const char *startTime,
                 const char *endDate, const char *endTime)
{
    return QByteArray("\t<recProg>\r\n\t\t<progName><![CDATA[") + name +
           "]]></progName>\r\n\t\t<sender><![CDATA[" + channel + "]]></sender>\r\n\t\t<progStartDate>" +
           startDate + "</progStartDate>\r\n\t\t<progStartTime>" + startTime +
           "</progStartTime>\r\n\t\t<progEndDate>" + endDate + "</progEndDate>\r\n\t\t<progEndTime>" +
           endTime + "</progEndTime>\r\n\t</recProg>\r\n";
}

} // namespace

TEST(GuideImport, ImportsTheExportFile)
{
    TimerList list;
    const GuideImportResult result = importGuideData(readBytes(timersFixture(QStringLiteral("i_REMOTE.txt"))),
                                                     germanSettings(), list, winterClock());
    EXPECT_EQ(result.added, 2);
    EXPECT_TRUE(result.skipped.isEmpty());
    ASSERT_EQ(list.size(), 2);

    const TimerEntry &first = list.entries().at(0);
    EXPECT_EQ(first.number, QStringLiteral("1"));
    EXPECT_EQ(first.description, QStringLiteral("Tatort"));
    EXPECT_EQ(first.service, QStringLiteral("1:0:1:2EE3:0441:0001:00C00000:0:0:0:"));
    EXPECT_EQ(first.eventId, QStringLiteral("1"));
    EXPECT_EQ(first.type, QStringLiteral("44"));
    EXPECT_EQ(first.timeBegin, QStringLiteral("1103915700")); // 2004-12-24 20:15 local
    EXPECT_EQ(first.duration, QStringLiteral("5400"));

    const TimerEntry &second = list.entries().at(1);
    EXPECT_EQ(second.description, QString::fromLatin1("Der Bergdoktor \xfc")) << "bytes kept as in the file";
    EXPECT_EQ(second.service, QStringLiteral("1:0:1:2E9B:0441:0001:00C00000:0:0:0:"));
    EXPECT_EQ(second.eventId, QStringLiteral("2"));
    EXPECT_EQ(second.duration, QStringLiteral("6300"));
    EXPECT_TRUE(list.toFileData().contains("#DESCRIPTION: /Der Bergdoktor \xfc\r\n"));
}

TEST(GuideImport, Durations)
{
    struct Case
    {
        const char *name;
        const char *startDate, *startTime, *endDate, *endTime;
        const char *duration;
    };
    const Case cases[] = {
        {"OverMidnight", "2004-12-24", "23:30", "2004-12-25", "01:15", "6300"},
        {"WholeDayCountsNothing", "2004-12-24", "20:15", "2004-12-25", "20:15", "0"},
        {"EndBeforeStartCountsByItsAmount", "2004-12-24", "21:00", "2004-12-24", "20:00", "3600"},
        {"WithSeconds", "2004-12-24", "20:15:30", "2004-12-24", "20:16", "30"},
        {"MoreThanADay", "2004-12-24", "20:00", "2004-12-26", "21:00", "3600"},
        {"OverTheYearsEnd", "2004-12-31", "23:00", "2005-01-01", "00:30", "5400"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TimerList list;
        importGuideData(block("x", "ARD", c.startDate, c.startTime, c.endDate, c.endTime), germanSettings(),
                        list, winterClock());
        ASSERT_EQ(list.size(), 1);
        EXPECT_EQ(list.entries().at(0).duration, QString::fromLatin1(c.duration));
    }
}

TEST(GuideImport, ChannelNames)
{
    struct Case
    {
        const char *name;
        QByteArray guideChannel;
        const char *service;
    };
    const Case cases[] = {
        {"TranslatedByTheTable", "ARD", "1:0:1:2EE3:0441:0001:00C00000:0:0:0:"},
        {"SameNameNotInTable", "Super RTL", "1:0:1:2F08:0441:0001:00C00000:0:0:0:"},
        {"TableIsCaseSensitive", "ard", "1:0:1:0001:0001:0001:00C00000:0:0:0:"},
        {"TableTargetReachedFromAnotherName", "TM3", "1:0:1:6D66:0437:0001:00C00000:0:0:0:"},
        {"NotFoundLeavesServiceEmpty", "Pro7", ""},
        {"BouquetNamesAreNoChannels", "Das Erste HD", ""},
        {"Latin1GuideName", "Z\xfcrich \xe4", "1:0:1:0002:0001:0001:00C00000:0:0:0:"},
        {"Utf8GuideName", "Z\xc3\xbcrich \xc3\xa4", "1:0:1:0002:0001:0001:00C00000:0:0:0:"},
        {"EmptyName", "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TimerList list;
        importGuideData(block("x", c.guideChannel.constData(), "2004-12-24", "20:15", "2004-12-24", "21:00"),
                        germanSettings(), list, winterClock());
        ASSERT_EQ(list.size(), 1);
        EXPECT_EQ(list.entries().at(0).service, QString::fromLatin1(c.service));
    }
    EXPECT_EQ(translateGuideChannel(QStringLiteral("Krimi & Co")), QStringLiteral("PREMIERE KRIMI"));
    EXPECT_EQ(translateGuideChannel(QStringLiteral("ZDF")), QStringLiteral("ZDF"));
    EXPECT_EQ(translateGuideChannel(QStringLiteral("ARD ")), QStringLiteral("ARD "));
}

TEST(GuideImport, ValueLines)
{
    struct Case
    {
        const char *name;
        QByteArray nameLine;
        const char *description;
    };
    const Case cases[] = {
        {"TwoTabsRemoved", "\t\t<progName><![CDATA[Tatort]]></progName>", "Tatort"},
        {"OneTabKept", "\t<progName><![CDATA[Tatort]]></progName>", "\tTatort"},
        {"ThreeTabsLeaveOne", "\t\t\t<progName><![CDATA[Tatort]]></progName>", "\tTatort"},
        {"TabsInsideTheValue", "<progName><![CDATA[a\t\tb\tc]]>", "ab\tc"},
        {"BlanksKept", "  <progName><![CDATA[ Tatort ]]>", "   Tatort "},
        {"MissingTagKeepsTheLine", "Tatort]]> rest", "Tatort"},
        {"MissingEndKeepsTheRest", "<progName><![CDATA[Tatort", "Tatort"},
        {"OnlyTheFirstTagRemoved", "<progName><![CDATA[<progName><![CDATA[x]]>", "<progName><![CDATA[x"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray data =
            "<recProg>\n" + c.nameLine +
            "\n<sender><![CDATA[ARD]]>\n<progStartDate>2004-12-24</\n<progStartTime>20:15</\n"
            "<progEndDate>2004-12-24</\n<progEndTime>21:00</\n";
        TimerList list;
        importGuideData(data, germanSettings(), list, winterClock());
        ASSERT_EQ(list.size(), 1);
        EXPECT_EQ(list.entries().at(0).description, QString::fromLatin1(c.description));
    }
}

TEST(GuideImport, AppendsAfterExistingRowsAndSkipsUnreadableProgrammes)
{
    TimerList list;
    for (int i = 0; i < 3; ++i)
        list.appendNew(QStringLiteral("old"), QString(), QStringLiteral("0"), QStringLiteral("0"));
    const QByteArray data = block("good1", "ARD", "2004-12-24", "20:15", "2004-12-24", "21:00") +
                            block("bad date", "ARD", "24.12.2004", "20:15", "2004-12-24", "21:00") +
                            block("bad time", "ARD", "2004-12-24", "25:15", "2004-12-24", "21:00") +
                            block("bad end", "ARD", "2004-12-24", "20:15", "2004-02-30", "21:00") +
                            block("good2", "ZDF", "2004-12-25", "8:05:00", "2004-12-25", "9:00");
    const GuideImportResult result = importGuideData(data, germanSettings(), list, winterClock());
    EXPECT_EQ(result.added, 2);
    EXPECT_EQ(result.skipped, (QStringList{QStringLiteral("bad date: '24.12.2004' is not a valid date"),
                                           QStringLiteral("bad time: '25:15' is not a valid time"),
                                           QStringLiteral("bad end: '2004-02-30' is not a valid date")}));
    ASSERT_EQ(list.size(), 5);
    EXPECT_EQ(list.entries().at(3).description, QStringLiteral("good1"));
    EXPECT_EQ(list.entries().at(3).eventId, QStringLiteral("4"));
    EXPECT_EQ(list.entries().at(3).number, QStringLiteral("4"));
    EXPECT_EQ(list.entries().at(4).description, QStringLiteral("good2"));
    EXPECT_EQ(list.entries().at(4).eventId, QStringLiteral("5"));
    EXPECT_EQ(list.entries().at(4).duration, QStringLiteral("3300"));
}

TEST(GuideImport, TruncatedBlockReadsEmptyLines)
{
    TimerList list;
    const GuideImportResult result =
        importGuideData("<recProg>\n<progName><![CDATA[cut]]>\n", germanSettings(), list, winterClock());
    EXPECT_EQ(result.added, 0);
    EXPECT_EQ(result.skipped, QStringList{QStringLiteral("cut: '' is not a valid date")});
}

TEST(GuideImport, RunChecksTheFilesAndReloadsTheSettings)
{
    QTemporaryDir dir;
    const TimerFolders folders(dir.path());
    folders.ensureExist();
    TimerList list;
    ChannelSettings chooser = germanSettings();
    QStringList messages;
    const auto inform = [&](const QString &m) { messages.append(m); };

    try {
        runGuideImport(folders, chooser, list, winterClock(), inform);
        ADD_FAILURE() << "no error";
    } catch (const TimerNotice &e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("Datei -> i_REMOTE.txt <- nicht vorhanden.\nBitte TVGenial.pdf lesen !"));
    }
    EXPECT_TRUE(list.isEmpty());

    ASSERT_TRUE(QFile::copy(timersFixture(QStringLiteral("i_REMOTE.txt")), folders.guideFile()));
    EXPECT_EQ(runGuideImport(folders, chooser, list, winterClock(), inform).added, 2);
    EXPECT_EQ(messages, QStringList{QStringLiteral(
                            "Datei -> BVSettins.set <- nicht vorhanden.\nBitte -Service- neu ertellen !")});
    EXPECT_EQ(chooser, germanSettings()) << "the chooser is kept without a settings file";
    EXPECT_EQ(list.entries().at(0).service, QStringLiteral("1:0:1:2EE3:0441:0001:00C00000:0:0:0:"));

    ChannelSettings other;
    other.bouquets = {{QStringLiteral("B"), {QStringLiteral("AAAA:0441:0001:00C00000: Das Erste")}}};
    other.save(folders.settingsFile());
    messages.clear();
    EXPECT_EQ(runGuideImport(folders, chooser, list, winterClock(), inform).added, 2);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(chooser, other);
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list.entries().at(2).service, QStringLiteral("1:0:1:AAAA:0441:0001:00C00000:0:0:0:"));
    EXPECT_EQ(list.entries().at(2).eventId, QStringLiteral("3"));
}
