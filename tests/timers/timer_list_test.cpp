#include "timers/timer_list.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "common/error.h"
#include "test_files.h"

namespace {

struct Fields
{
    const char *service;
    const char *lead;
    const char *description; // Latin-1 held bytes
    const char *eventId;
    const char *type;
    const char *timeBegin;
    const char *duration;
};

void expectFields(const TimerEntry &e, const Fields &f)
{
    EXPECT_EQ(e.service, QString::fromLatin1(f.service));
    EXPECT_EQ(e.descriptionLead, QString::fromLatin1(f.lead));
    EXPECT_EQ(e.description, QString::fromLatin1(f.description));
    EXPECT_EQ(e.eventId, QString::fromLatin1(f.eventId));
    EXPECT_EQ(e.type, QString::fromLatin1(f.type));
    EXPECT_EQ(e.timeBegin, QString::fromLatin1(f.timeBegin));
    EXPECT_EQ(e.duration, QString::fromLatin1(f.duration));
}

TimerList parse(const QByteArray &data)
{
    TimerList list;
    list.appendFromFileData(data);
    return list;
}

} // namespace

TEST(TimerListFile, BoxWrittenFileReadsEveryRecord)
{
    const TimerList list = parse(readBytes(timersFixture(QStringLiteral("box_timer.epl"))));
    const Fields expected[] = {
        {"1:0:1:6dca:44d:1:c00000:0:0:0:", "Das Erste/", "Tagesschau", "4711", "44", "1103915700", "900"},
        {"1:0:1:6d66:437:1:c00000:0:0:0:", "ZDF/", "heute-journal", "0", "44", "1103921400", "1800"},
        {"1:0:1:445d:453:1:c00000:0:0:0:", "ProSieben/", "Die Simpsons", "0", "4194348", "1103905800",
         "3600"},
        {"1:0:1:2ee3:441:1:c00000:0:0:0:", "/", "Umschalten", "12", "34", "1103930000", "60"},
        {"1:0:1:6dca:44d:1:c00000:0:0:0:", "Das Erste/",
         "Tatort: \xc3\x9c"
         "ber die Grenze",
         "99", "268", "1103829300", "5400"},
        {"1:0:1:6d67:437:1:c00000:0:0:0:", "/", "???", "5", "131108", "1103940000", "2700"},
    };
    ASSERT_EQ(list.size(), 6);
    for (int i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(list.entries().at(i).number, QString::number(i + 1));
        expectFields(list.entries().at(i), expected[i]);
    }
}

TEST(TimerListFile, BoxWrittenFileWrittenBackKeepsEveryField)
{
    const QByteArray original = readBytes(timersFixture(QStringLiteral("box_timer.epl")));
    const TimerList list = parse(original);
    const QByteArray written = list.toFileData();

    EXPECT_TRUE(written.startsWith("#NAME Timerlist\r\n"));
    EXPECT_EQ(written.count("\r\n"), written.count('\n'));
    EXPECT_EQ(parse(written).entries(), list.entries());
    // Every line of the six fields the box wrote comes back byte for byte, in record order.
    qsizetype from = 0;
    for (const QByteArray &line : original.split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
        if (l.startsWith("#NAME") || l.startsWith("#LAST_ACTIVATION") || l.isEmpty())
            continue;
        const qsizetype at = written.indexOf(QByteArray(l + "\r\n"), from);
        EXPECT_GE(at, 0) << "line lost: " << l.toStdString();
        if (at >= 0)
            from = at;
    }
}

TEST(TimerListFile, WritesTheProgramsLayoutExactly)
{
    TimerList list;
    list.appendNew(QStringLiteral("NEW Item"), servicerefs::DefaultReference, QStringLiteral("1103915700"),
                   QStringLiteral("60"));
    TimerEntry odd;
    odd.number = QStringLiteral("7");
    odd.description = QString::fromLatin1(" padded \xe4 ");
    odd.service = QString();
    odd.eventId = QStringLiteral("x");
    odd.type = QStringLiteral("12");
    odd.timeBegin = QStringLiteral("not a number");
    odd.duration = QString();
    list.append(odd);

    EXPECT_EQ(list.toFileData(), QByteArray("#NAME Timerlist\r\n"
                                            "#SERVICE: 1:0:1:2ee3:0441:0001:c00000:0:0:0:\r\n"
                                            "#DESCRIPTION: /NEW Item\r\n"
                                            "#EVENT_ID 1\r\n"
                                            "#TYPE 44\r\n"
                                            "#TIME_BEGIN 1103915700\r\n"
                                            "#DURATION 60\r\n"
                                            "#SERVICE: \r\n"
                                            "#DESCRIPTION: / padded \xe4 \r\n"
                                            "#EVENT_ID x\r\n"
                                            "#TYPE 12\r\n"
                                            "#TIME_BEGIN not a number\r\n"
                                            "#DURATION \r\n"));
    EXPECT_EQ(TimerList().toFileData(), QByteArray("#NAME Timerlist\r\n"));
}

TEST(TimerListFile, IncompleteAndOddRecords)
{
    struct Case
    {
        const char *name;
        QByteArray file;
        std::vector<Fields> expected;
    };
    const Case cases[] = {
        {"MissingDescriptionGivesQuestionMarks",
         "#SERVICE: 1:0:1:a:b:c:d:0:0:0:\n#EVENT_ID 3\n#TYPE 44\n#TIME_BEGIN 100\n#DURATION 60\n",
         {{"1:0:1:a:b:c:d:0:0:0:", "/", "???", "3", "44", "100", "60"}}},
        {"MissingTypeGivesZero",
         "#SERVICE: r\n#DESCRIPTION: /x\n#EVENT_ID 3\n#TIME_BEGIN 100\n#DURATION 60\n",
         {{"r", "/", "x", "3", "0", "100", "60"}}},
        {"DescriptionWithoutSlashIsKeptWhole",
         "#SERVICE: r\n#DESCRIPTION: Spielfilm\n#TYPE 44\n",
         {{"r", "", "Spielfilm", "0", "44", "0", "0"}}},
        {"ShortRecordDoesNotHideTheNextOne",
         "#NAME Timerlist\r\n#SERVICE: a\r\n#DESCRIPTION: /first\r\n#SERVICE: b\r\n#DESCRIPTION: /second\r\n"
         "#EVENT_ID 2\r\n#TYPE 34\r\n#TIME_BEGIN 5\r\n#DURATION 6\r\n",
         {{"a", "/", "first", "0", "0", "0", "0"}, {"b", "/", "second", "2", "34", "5", "6"}}},
        {"FileEndsInsideARecord",
         "#SERVICE: a\r\n#DESCRIPTION: /cut",
         {{"a", "/", "cut", "0", "0", "0", "0"}}},
        {"KeysInsideADescriptionAreText",
         "#SERVICE: a\n#DESCRIPTION: /see #TYPE 99 and #SERVICE: x\n#TYPE 44\n",
         {{"a", "/", "see #TYPE 99 and #SERVICE: x", "0", "44", "0", "0"}}},
        {"FirstOfARepeatedKeyCounts",
         "#SERVICE: a\n#TYPE 44\n#TYPE 34\n",
         {{"a", "/", "???", "0", "44", "0", "0"}}},
        {"EightBitBytesPassThrough",
         "#SERVICE: a\n#DESCRIPTION: /\xe4\xf6\xfc \xc3\xa4\x01\xff\n",
         {{"a", "/", "\xe4\xf6\xfc \xc3\xa4\x01\xff", "0", "0", "0", "0"}}},
        {"NoRecords", "#NAME Timerlist\r\n\r\ngarbage\r\n", {}},
        {"EmptyFile", "", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const TimerList list = parse(c.file);
        ASSERT_EQ(list.size(), static_cast<int>(c.expected.size()));
        for (int i = 0; i < list.size(); ++i)
            expectFields(list.entries().at(i), c.expected.at(i));
        EXPECT_EQ(parse(list.toFileData()).entries(), list.entries());
    }
}

TEST(TimerListFile, LineBreaksInsideFieldsCannotStartARecord)
{
    TimerList list;
    TimerEntry &e = list.appendNew(QStringLiteral("Film\r\n#SERVICE: 1:0:1:dead:1:1:0:0:0:0:\n#TYPE 34"),
                                   QStringLiteral("1:0:1:2ee3:441:1:c00000:0:0:0:\r"),
                                   QStringLiteral("100\n"), QStringLiteral("60"));
    e.descriptionLead = QStringLiteral("Das\nErste/");

    const QByteArray written = list.toFileData();
    EXPECT_EQ(written,
              QByteArray("#NAME Timerlist\r\n"
                         "#SERVICE: 1:0:1:2ee3:441:1:c00000:0:0:0:\r\r\n"
                         "#DESCRIPTION: Das Erste/Film\r #SERVICE: 1:0:1:dead:1:1:0:0:0:0: #TYPE 34\r\n"
                         "#EVENT_ID 1\r\n"
                         "#TYPE 44\r\n"
                         "#TIME_BEGIN 100 \r\n"
                         "#DURATION 60\r\n"));
    const TimerList back = parse(written);
    ASSERT_EQ(back.size(), 1);
    EXPECT_EQ(back.entries().at(0).service, list.entries().at(0).service) << "a lone CR stays";
    EXPECT_EQ(back.entries().at(0).type, QStringLiteral("44"));
}

TEST(TimerListFile, MissingDescriptionIsWrittenAsQuestionMarks)
{
    const TimerList list = parse("#SERVICE: a\r\n#EVENT_ID 1\r\n");
    EXPECT_TRUE(list.toFileData().contains("\r\n#DESCRIPTION: /???\r\n"));
}

TEST(TimerListFile, SaveReplacesTheFileAndLoadReadsIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("timer.epl"));
    testfiles::write(path, QByteArray(100000, 'x'));

    TimerList list = parse(readBytes(timersFixture(QStringLiteral("box_timer.epl"))));
    list.save(path);
    EXPECT_EQ(readBytes(path), list.toFileData());

    TimerList loaded;
    loaded.appendNew(QStringLiteral("old"), QString(), QString(), QString());
    loaded.load(path);
    EXPECT_EQ(loaded.entries(), list.entries());

    EXPECT_THROW(list.save(dir.filePath(QStringLiteral("missing/timer.epl"))), FileError);
    EXPECT_THROW(loaded.load(dir.filePath(QStringLiteral("nothing.epl"))), FileError);
    EXPECT_EQ(loaded.entries(), list.entries()) << "a failed load keeps the list";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("timer.epl")});
}

TEST(TimerListRows, RemoveRowKeepsNumbersAndAppendNewNumbersByPosition)
{
    TimerList list;
    for (const char *name : {"a", "b", "c"})
        list.appendNew(QString::fromLatin1(name), QString(), QString(), QString());
    list.removeRow(2);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.entries().at(0).number, QStringLiteral("1"));
    EXPECT_EQ(list.entries().at(1).number, QStringLiteral("3"));
    list.removeRow(0);
    list.removeRow(3);
    EXPECT_EQ(list.size(), 2);

    const TimerEntry &added = list.appendNew(QStringLiteral("d"), QString(), QString(), QString());
    EXPECT_EQ(added.number, QStringLiteral("3"));
    EXPECT_EQ(added.eventId, QStringLiteral("3"));
    EXPECT_EQ(added.type, QStringLiteral("44"));
    EXPECT_EQ(added.descriptionLead, QStringLiteral("/"));
}

TEST(TimerListRows, CellsFollowTheGridColumns)
{
    EXPECT_EQ(TimerList::headerTexts(),
              (QStringList{QString(), QStringLiteral("Beschreibung"), QStringLiteral("SERVICE"),
                           QStringLiteral("EVENT ID "), QStringLiteral("TYPE"), QStringLiteral("Startzeit"),
                           QStringLiteral("Länge")}));
    TimerEntry e;
    for (int column = 0; column < TimerEntry::ColumnCount; ++column)
        e.setCell(column, QString::number(column * 11));
    EXPECT_EQ(e.number, QStringLiteral("0"));
    EXPECT_EQ(e.description, QStringLiteral("11"));
    EXPECT_EQ(e.service, QStringLiteral("22"));
    EXPECT_EQ(e.eventId, QStringLiteral("33"));
    EXPECT_EQ(e.type, QStringLiteral("44"));
    EXPECT_EQ(e.timeBegin, QStringLiteral("55"));
    EXPECT_EQ(e.duration, QStringLiteral("66"));
    for (int column = 0; column < TimerEntry::ColumnCount; ++column)
        EXPECT_EQ(e.cell(column), QString::number(column * 11));
    EXPECT_EQ(e.cell(7), QString());
}

TEST(TimerTypes, ModesAndTypes)
{
    EXPECT_EQ(timertypes::modeNames(),
              (QStringList{QStringLiteral("???"), QStringLiteral("Aufnahme"), QStringLiteral("Umschalten"),
                           QStringLiteral("Ngrab"), QStringLiteral("Fertig")}));
    const std::pair<const char *, const char *> shown[] = {
        {"44", "Aufnahme"}, {"34", "Umschalten"}, {"131108", "Ngrab"}, {"268", "Fertig"},
        {"12", "???"},      {"0", "???"},         {"", "???"},         {" 44", "???"},
    };
    for (const auto &[type, mode] : shown)
        EXPECT_EQ(timertypes::modeForType(QString::fromLatin1(type)), QString::fromLatin1(mode)) << type;

    const std::pair<const char *, const char *> written[] = {
        {"???", "34"}, {"Aufnahme", "44"}, {"Umschalten", "34"}, {"Ngrab", "131108"}, {"Fertig", "268"},
    };
    for (const auto &[mode, type] : written)
        EXPECT_EQ(timertypes::typeForMode(QString::fromLatin1(mode)), QString::fromLatin1(type)) << mode;
    EXPECT_EQ(timertypes::typeForMode(QStringLiteral("select ...")), std::nullopt);
}

TEST(ServiceReference, ChannelKey)
{
    const std::pair<const char *, const char *> cases[] = {
        {"1:0:1:2ee3:441:1:c00000:0:0:0:", "2EE3:0441:0001:"},
        {"1:0:1:2EE3:0441:0001:00C00000:0:0:0:", "2EE3:0441:0001:"},
        {"1:0:1:2ee3:0441:0001:c00000:0:0:0:", "2EE3:0441:0001:"},
        {"1:0:1:12345:1:1:0:0:0:0:", "12345:0001:0001:"},
        {"1:0:1:", "0000:0000:0000:"},
        {"", "0000:0000:0000:"},
    };
    for (const auto &[reference, key] : cases)
        EXPECT_EQ(servicerefs::channelKey(QString::fromLatin1(reference)), QString::fromLatin1(key))
            << reference;
}

TEST(ServiceReference, ReplaceReferencePart)
{
    const QString part = QStringLiteral("2EE3:0441:0001:00C00000:");
    const std::pair<const char *, const char *> cases[] = {
        {"1:0:1:2ee3:0441:0001:c00000:0:0:0:", "1:0:1:2EE3:0441:0001:00C00000:0:0:0:"},
        {"1:0:1:6dca:44d:1:c00000:0:0:0:/hdd/movie/x.ts",
         "1:0:1:2EE3:0441:0001:00C00000:0:0:0:/hdd/movie/x.ts"},
        {"", "2EE3:0441:0001:00C00000:"},
        {"1:0:", "2EE3:0441:0001:00C00000:1:0:"},
        {"1:0:1:abc", "1:0:1:2EE3:0441:0001:00C00000:abc"},
    };
    for (const auto &[reference, result] : cases)
        EXPECT_EQ(servicerefs::replaceReferencePart(QString::fromLatin1(reference), part),
                  QString::fromLatin1(result))
            << reference;
    EXPECT_EQ(servicerefs::fromChannelEntry(QStringLiteral("2EE3:0441:0001:00C00000: Das Erste")),
              QStringLiteral("1:0:1:2EE3:0441:0001:00C00000:0:0:0:"));
}

TEST(TimerText, DisplayConversion)
{
    const QString utf8Held = QString::fromLatin1("\xc3\x9c"
                                                 "ber");
    EXPECT_EQ(fileTextToDisplay(utf8Held), QStringLiteral("Über"));
    EXPECT_EQ(displayTextToFile(QStringLiteral("Über")), utf8Held);
    const QString latin1Held = QString::fromLatin1("\xdc"
                                                   "ber");
    EXPECT_EQ(fileTextToDisplay(latin1Held), latin1Held);
    EXPECT_EQ(displayTextToFile(QStringLiteral("plain")), QStringLiteral("plain"));
}
