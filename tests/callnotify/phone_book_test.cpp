#include "callnotify/number_notation.h"
#include "callnotify/phone_book.h"

#include "common/error.h"
#include "outlook/vcard_outlook.h"
#include "support/test_paths.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {
// Positions in the two property choices.
constexpr int FullNameChoice = 28;
constexpr int BusinessAddressChoice = 2;
constexpr int BusinessPhoneChoice = 2;
constexpr int HomePhoneChoice = 6;

QString fixture(const QString &name)
{
    return testpaths::fixturesDir() + QStringLiteral("/vcard/") + name;
}

struct Imported
{
    QString file;
    VCardOutlook source{[this] { return file; }};
    PhoneBook book;

    Imported(const QString &name, int nameChoice, int numberChoice) : file(fixture(name))
    {
        book.ReadTelefonnumber(source, nameChoice, PhoneBook::nameItems().value(nameChoice), numberChoice);
    }
};

QStringList cells(const PhoneBookRow &row)
{
    return {row.index, row.name, row.number, row.fullName};
}
} // namespace

TEST(PhoneBook, ChoicesListThePropertiesWithTheirBlanks)
{
    const QStringList &names = PhoneBook::nameItems();
    ASSERT_EQ(names.size(), 65);
    EXPECT_EQ(names[0], QStringLiteral("Birthday"));
    EXPECT_EQ(names[1], QStringLiteral("Business2TelephoneNumber "));
    EXPECT_EQ(names[FullNameChoice], QStringLiteral("FullName "));
    EXPECT_EQ(names[64], QStringLiteral("WebPage"));
    const QStringList &numbers = PhoneBook::numberItems();
    ASSERT_EQ(numbers.size(), 9);
    EXPECT_EQ(numbers[1], QStringLiteral("BusinessFaxNumber "));
    EXPECT_EQ(numbers[8], QStringLiteral("PrimaryTelephoneNumber "));
    EXPECT_EQ(PhoneBook::nameProperty(-1), QStringLiteral("FirstName"));
    EXPECT_EQ(PhoneBook::nameProperty(65), QStringLiteral("FirstName"));
    EXPECT_EQ(PhoneBook::numberProperty(-1), QStringLiteral("HomeTelephoneNumber"));
    EXPECT_EQ(PhoneBook::numberProperty(9), QStringLiteral("HomeTelephoneNumber"));
}

TEST(PhoneBook, ImportsTheContactsInFolderOrder)
{
    Imported outlook(QStringLiteral("outlook21.vcf"), FullNameChoice, HomePhoneChoice);
    ASSERT_TRUE(outlook.book.isImported());
    EXPECT_EQ(outlook.book.headers(), (QStringList{"Index", "FullName ", "Telefonnummer", "e@Mail"}));
    const QList<PhoneBookRow> &rows = outlook.book.rows();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(cells(rows[0]),
              (QStringList{"1", "B\u00e4ckerei Gro\u00df", "030 7654321", "B\u00e4ckerei Gro\u00df"}));
    EXPECT_EQ(cells(rows[1]), (QStringList{"2", "Dr. J\u00fcrgen Karl M\u00fcller", "+49 (89) 2233-44",
                                           "Dr. J\u00fcrgen Karl M\u00fcller"}));
    EXPECT_EQ(cells(rows[2]),
              (QStringList{"3", "\u00c4nne \u00d6zt\u00fcrk", "030 7654321", "\u00c4nne \u00d6zt\u00fcrk"}));
    EXPECT_EQ(cells(rows[3]), (QStringList{"4", "Paul Lehmann", "", "Paul Lehmann"}));
}

TEST(PhoneBook, LeavesGroupEntriesOutAndKeepsFolderPositions)
{
    struct Case
    {
        const char *name;
        QString file;
        QStringList indexes;
        QStringList names;
    };
    const Case cases[] = {
        {"AddressBookServerGroup",
         QStringLiteral("with_group.vcf"),
         {"1", "3"},
         {"Eva Fischer", "Tom Wagner"}},
        {"Version4Group",
         QStringLiteral("contacts40.vcf"),
         {"1", "3"},
         {QStringLiteral("Zo\u00eb Kr\u00e4mer"), QStringLiteral("Ole S\u00f8rensen")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Imported imported(c.file, FullNameChoice, HomePhoneChoice);
        QStringList indexes;
        QStringList names;
        for (const PhoneBookRow &row : imported.book.rows()) {
            indexes.append(row.index);
            names.append(row.name);
        }
        EXPECT_EQ(indexes, c.indexes);
        EXPECT_EQ(names, c.names);
    }
}

TEST(PhoneBook, InvalidChoicesReadFirstNameAndHomeNumber)
{
    Imported imported(QStringLiteral("with_group.vcf"), -1, 99);
    ASSERT_EQ(imported.book.rows().size(), 2);
    EXPECT_EQ(imported.book.rows()[0].name, QStringLiteral("Eva"));
    EXPECT_EQ(imported.book.rows()[0].number, QStringLiteral("0711 123456"));
    EXPECT_EQ(imported.book.headers()[1], QString()); // the empty text of "no selection"
}

TEST(PhoneBook, ReportsProgressAndHidesTheBarAtTheLastContact)
{
    struct Case
    {
        const char *name;
        QByteArray data;
        QStringList expected;
    };
    const Case cases[] = {
        {"ThreeEntriesOneAGroup", {}, {"start 3", "value 1", "value 2", "value 3", "hide"}},
        {"EmptyFolderLeavesTheBarShowing", QByteArray(""), {"start 0"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        QString path = fixture(QStringLiteral("with_group.vcf"));
        if (!c.data.isNull()) {
            path = dir.filePath(QStringLiteral("leer.vcf"));
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.data);
        }
        VCardOutlook source([&] { return path; });
        QStringList events;
        ImportProgress progress;
        progress.start = [&](int maximum) { events.append(QStringLiteral("start %1").arg(maximum)); };
        progress.setValue = [&](int value) { events.append(QStringLiteral("value %1").arg(value)); };
        progress.hide = [&] { events.append(QStringLiteral("hide")); };
        PhoneBook book;
        book.ReadTelefonnumber(source, FullNameChoice, QStringLiteral("FullName "), HomePhoneChoice,
                               progress);
        EXPECT_EQ(events, c.expected);
        EXPECT_TRUE(book.isImported());
    }
}

TEST(PhoneBook, FailedImportThrowsAndKeepsTheRowsItHad)
{
    Imported imported(QStringLiteral("with_group.vcf"), FullNameChoice, HomePhoneChoice);
    imported.file = fixture(QStringLiteral("fehlt.vcf"));
    EXPECT_THROW(imported.book.ReadTelefonnumber(imported.source, FullNameChoice, QString(), HomePhoneChoice),
                 FileError);
    EXPECT_EQ(imported.book.rows().size(), 2);
}

TEST(PhoneBook, FindsTheCallerAndPreparesTheName)
{
    struct Case
    {
        const char *name;
        NumberMatching matching;
        QString search;
        std::optional<PhoneBook::Match> expected;
    };
    const Case cases[] = {
        {"LaterDuplicateWins", NumberMatching::Exact, QStringLiteral("030 7654321"),
         PhoneBook::Match{QStringLiteral("030 7654321"), QStringLiteral("AEnne%20OEztuerk")}},
        {"SameCharactersOnly", NumberMatching::Exact, QStringLiteral("0307654321"), std::nullopt},
        {"EmptySearchNeverMatchesEmptyNumber", NumberMatching::Exact, QString(), std::nullopt},
        {"EmptySearchWithNotations", NumberMatching::AnyNotation, QString(), std::nullopt},
        {"BlankSearchIsNoEmptyNumber", NumberMatching::Exact, QStringLiteral(" "), std::nullopt},
        {"OtherNotationKeepsDeliveredNumber", NumberMatching::AnyNotation, QStringLiteral("0307654321"),
         PhoneBook::Match{QStringLiteral("0307654321"), QStringLiteral("AEnne%20OEztuerk")}},
        {"InternationalNotation", NumberMatching::AnyNotation, QStringLiteral("+49892233-44"),
         PhoneBook::Match{QStringLiteral("+49892233-44"), QStringLiteral("Dr.%20Juergen%20Karl%20Mueller")}},
        {"InternationalNotationOff", NumberMatching::Exact, QStringLiteral("+49892233-44"), std::nullopt},
        {"OtherNumberStillNoMatch", NumberMatching::AnyNotation, QStringLiteral("0307654322"), std::nullopt},
    };
    Imported outlook(QStringLiteral("outlook21.vcf"), FullNameChoice, HomePhoneChoice);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        outlook.book.setMatching(c.matching);
        const std::optional<PhoneBook::Match> found = outlook.book.find(c.search);
        ASSERT_EQ(found.has_value(), c.expected.has_value());
        if (found) {
            EXPECT_EQ(found->number, c.expected->number);
            EXPECT_EQ(found->name, c.expected->name);
        }
    }
}

TEST(PhoneBook, NotationsFollowANewImport)
{
    Imported imported(QStringLiteral("with_group.vcf"), FullNameChoice, HomePhoneChoice);
    imported.book.setMatching(NumberMatching::AnyNotation);
    ASSERT_TRUE(imported.book.find(QStringLiteral("+49 711 123456")).has_value());
    imported.file = fixture(QStringLiteral("export30.vcf"));
    imported.book.ReadTelefonnumber(imported.source, FullNameChoice, QString(), HomePhoneChoice);
    EXPECT_FALSE(imported.book.find(QStringLiteral("+49 711 123456")).has_value());
    const auto found = imported.book.find(QStringLiteral("+49 30 1234567"));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->name, QStringLiteral("Bjoern%20Weiss"));
}

TEST(PhoneBook, MultiLineNameJoinsItsLines)
{
    Imported outlook(QStringLiteral("outlook21.vcf"), BusinessAddressChoice, BusinessPhoneChoice);
    const auto found = outlook.book.find(QStringLiteral("0301234567"));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->name, QStringLiteral("Hauptstrasse%205,%2010115%20Berlin,%20Deutschland"));
}

TEST(PhoneBook, NamePreparation)
{
    struct Case
    {
        const char *name;
        QString in;
        QString out;
    };
    const Case cases[] = {
        {"BakeryWithSharpS", QStringLiteral("B\u00e4ckerei Gro\u00df"), QStringLiteral("Baeckerei%20Gross")},
        {"CapitalUmlauts", QStringLiteral("\u00c4rger \u00dcber \u00d6l"),
         QStringLiteral("AErger%20UEber%20OEl")},
        {"SmallUmlauts", QStringLiteral("\u00e4\u00f6\u00fc"), QStringLiteral("aeoeue")},
        {"TwoLines", QStringLiteral("Zeile 1\r\nZeile 2"), QStringLiteral("Zeile%201,%20Zeile%202")},
        {"LoneLineFeedStays", QStringLiteral("a\nb"), QStringLiteral("a\nb")},
        {"OtherLettersStay", QStringLiteral("Zo\u00eb & Co"), QStringLiteral("Zo\u00eb%20&%20Co")},
        {"Empty", QString(), QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(prepareCallerName(c.in), c.out);
    }
}

TEST(NumberNotation, RecognisesNotationsOfTheSameNumber)
{
    struct Case
    {
        const char *name;
        QString a;
        QString b;
        bool same;
    };
    const Case cases[] = {
        {"InternationalAndSlash", QStringLiteral("+49 30 1234567"), QStringLiteral("030/1234567"), true},
        {"BracketsAndGroups", QStringLiteral("(030) 123 45 67"), QStringLiteral("0301234567"), true},
        {"DoubleZeroPrefix", QStringLiteral("0049301234567"), QStringLiteral("030 1234567"), true},
        {"HyphenatedInternational", QStringLiteral("+49-30-1234567"), QStringLiteral("030-1234567"), true},
        {"LastDigitDiffers", QStringLiteral("030 1234567"), QStringLiteral("030 1234568"), false},
        {"OtherAreaCode", QStringLiteral("030 1234567"), QStringLiteral("040 1234567"), false},
        {"ForeignNumberIsNotNational", QStringLiteral("+45 32 12 34 56"), QStringLiteral("32123456"), false},
        {"ShortExtensionsNeverByNotation", QStringLiteral("41"), QStringLiteral("041"), false},
        {"Empty", QString(), QString(), false},
        {"Words", QStringLiteral("privat"), QStringLiteral("privat"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sameNumberNotation(c.a, c.b), c.same);
        EXPECT_EQ(sameNumberNotation(c.b, c.a), c.same);
    }
}
