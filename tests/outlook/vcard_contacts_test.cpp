#include "outlook/vcard_contacts.h"
#include "outlook/vcard_outlook.h"

#include "common/error.h"
#include "support/test_paths.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages for texts.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {
QString fixture(const QString &name)
{
    return testpaths::fixturesDir() + QStringLiteral("/vcard/") + name;
}

std::unique_ptr<ContactFolder> openFixture(const QString &name)
{
    VCardOutlook source([name] { return fixture(name); });
    return source.openContacts();
}
} // namespace

TEST(VCardContacts, OffersThePhoneBooksPropertyNames)
{
    const QStringList &names = contactPropertyNames();
    EXPECT_EQ(names.size(), 65);
    EXPECT_EQ(names.first(), QStringLiteral("Birthday"));
    EXPECT_EQ(names.last(), QStringLiteral("WebPage"));
    // Every name has a reader: a plain contact answers each without throwing.
    VCard card;
    for (const QString &name : names)
        EXPECT_NO_THROW(contactProperty(card, name)) << name.toStdString();
    EXPECT_THROW(contactProperty(card, QStringLiteral("MobileTelephoneNumber")), BoxvisorError);
}

TEST(VCardContacts, ReadsRealExportsUnderOutlookNames)
{
    struct Case
    {
        const char *name;
        QString file;
        int index;
        QString property;
        QString expected;
    };
    const QString birthday1965 = QLocale::system().toString(QDate(1965, 3, 17), QLocale::ShortFormat);
    const QString birthday1980 = QLocale::system().toString(QDate(1980, 2, 29), QLocale::ShortFormat);
    const QString outlook = QStringLiteral("outlook21.vcf");
    const QString v30 = QStringLiteral("export30.vcf");
    const QString v40 = QStringLiteral("contacts40.vcf");
    const Case cases[] = {
        // Outlook 2.1: quoted-printable Windows-1252 umlauts, bare types.
        {"OutlookFullNameUmlauts", outlook, 1, "FullName", QStringLiteral("B\u00e4ckerei Gro\u00df")},
        {"OutlookCompany", outlook, 1, "CompanyName", QStringLiteral("B\u00e4ckerei Gro\u00df GmbH")},
        {"OutlookDepartment", outlook, 1, "Department", "Verkauf"},
        {"OutlookJobTitle", outlook, 1, "JobTitle", "Inhaber"},
        {"OutlookBusinessPhone", outlook, 1, "BusinessTelephoneNumber", "0301234567"},
        {"OutlookHomePhoneKeepsBlanks", outlook, 1, "HomeTelephoneNumber", "030 7654321"},
        {"OutlookBusinessFax", outlook, 1, "BusinessFaxNumber", "0301234568"},
        {"OutlookMobileIsNoBusinessPhone", outlook, 1, "Business2TelephoneNumber", ""},
        {"OutlookLabelSoftBreak", outlook, 1, "BusinessAddress",
         QStringLiteral("Hauptstra\u00dfe 5\r\n10115 Berlin\r\nDeutschland")},
        {"OutlookMailingIsPreferredAddress", outlook, 1, "MailingAddressCity", "Berlin"},
        {"OutlookBusinessHomePage", outlook, 1, "BusinessHomePage", "http://www.baeckerei-gross.example"},
        {"OutlookWebPageIsBusinessHomePage", outlook, 1, "WebPage", "http://www.baeckerei-gross.example"},
        {"OutlookEmailType", outlook, 1, "Email1AddressType", "SMTP"},
        {"OutlookCompanyAndFullName", outlook, 1, "CompanyAndFullName",
         QStringLiteral("B\u00e4ckerei Gro\u00df GmbH (B\u00e4ckerei Gro\u00df)")},
        {"RawCharsetFullName", outlook, 2, "FullName", QStringLiteral("Dr. J\u00fcrgen Karl M\u00fcller")},
        {"NameParts", outlook, 2, "LastNameAndFirstName", QStringLiteral("M\u00fcller, J\u00fcrgen")},
        {"MiddleName", outlook, 2, "MiddleName", "Karl"},
        {"TitleIsHonorificPrefix", outlook, 2, "Title", "Dr."},
        {"Initials", outlook, 2, "Initials", "J.K.M."},
        {"NickName", outlook, 2, "NickName", QStringLiteral("J\u00fcrgi")},
        {"FirstOfTwoHomePhones", outlook, 2, "HomeTelephoneNumber", "+49 (89) 2233-44"},
        {"SecondOfTwoHomePhones", outlook, 2, "Home2TelephoneNumber", "089/998877"},
        {"IsdnNumber", outlook, 2, "ISDNNumber", "08912345"},
        {"PrimaryIsPref", outlook, 2, "PrimaryTelephoneNumber", "0891111"},
        {"HomeStreetTwoLines", outlook, 2, "HomeAddressStreet",
         QStringLiteral("Hinterhaus\r\nStra\u00dfe des 17. Juni 1")},
        {"HomePostOfficeBox", outlook, 2, "HomeAddressPostOfficeBox", "Postfach 12"},
        {"HomeState", outlook, 2, "HomeAddressState", "Bayern"},
        {"ComposedHomeAddress", outlook, 2, "HomeAddress",
         QStringLiteral(
             "Hinterhaus\r\nStra\u00dfe des 17. Juni 1\r\nPostfach 12\r\n80331 M\u00fcnchen\r\nBayern\r\n"
             "Deutschland")},
        {"MailingFallsBackToFirstAddress", outlook, 2, "MailingAddressPostalCode", "80331"},
        {"PreferredMailFirst", outlook, 2, "Email1Address", "j.mueller@example.org"},
        {"OtherMailSecond", outlook, 2, "Email2Address", "juergen@example.org"},
        {"MailDisplayName", outlook, 2, "Email2DisplayName",
         QStringLiteral("Dr. J\u00fcrgen Karl M\u00fcller (juergen@example.org)")},
        {"NoThirdMail", outlook, 2, "Email3AddressType", ""},
        {"Birthday", outlook, 2, "Birthday", birthday1965},
        {"Latin1QuotedPrintable", outlook, 3, "FullName", QStringLiteral("\u00c4nne \u00d6zt\u00fcrk")},
        {"EmptyNumberStaysEmpty", outlook, 3, "BusinessTelephoneNumber", ""},
        {"NoFieldReadsEmpty", outlook, 1, "GovernmentIDNumber", ""},
        // 3.0: folded lines, TYPE lists, escaped separators, groups.
        {"EscapedCommaInCompany", v30, 1, "CompanyName", "Schmidt, Hohenstein & Partner"},
        {"EscapedSemicolonInDepartment", v30, 1, "Department", "Steuerberatung; Buchhaltung"},
        {"TypeListWorkVoice", v30, 1, "BusinessTelephoneNumber", "+49 221 555 0100"},
        {"TypeHomeOnly", v30, 1, "HomeTelephoneNumber", "0221 / 555 0200"},
        {"LowerCasePref", v30, 1, "PrimaryTelephoneNumber", "0221-5550300"},
        {"EscapedNewlineInStreet", v30, 1, "BusinessAddressStreet",
         QStringLiteral("Am Hof 12\r\nHinterhaus")},
        {"Utf8City", v30, 1, "BusinessAddressCity", QStringLiteral("K\u00f6ln")},
        {"PersonalHomePage", v30, 1, "PersonalHomePage", "https://anna-lena.example"},
        {"SecondCardAfterPhoto", v30, 2, "FullName", QStringLiteral("Bj\u00f6rn Wei\u00df")},
        {"BracketNotation", v30, 2, "HomeTelephoneNumber", "(030) 123 45 67"},
        {"HomeIsNoFax", v30, 2, "HomeFaxNumber", ""},
        // 4.0: tel: URIs, quoted type list, LABEL parameter.
        {"TelUri", v40, 1, "HomeTelephoneNumber", "+49-30-1234567"},
        {"PrefParameter", v40, 1, "PrimaryTelephoneNumber", "+49-30-1234567"},
        {"LowerCaseWork", v40, 1, "BusinessTelephoneNumber", "+49-40-9876543"},
        {"LabelParameter", v40, 1, "HomeAddress", QStringLiteral("Lindenallee 3\r\n20095 Hamburg")},
        {"Utf8FullName", v40, 1, "FullName", QStringLiteral("Zo\u00eb Kr\u00e4mer")},
        {"LeapDayBirthday", v40, 1, "Birthday", birthday1980},
        {"Hobby", v40, 1, "Hobby", "Segeln"},
        {"Language", v40, 1, "Language", "de"},
        {"CardAfterGroup", v40, 3, "FullName", QStringLiteral("Ole S\u00f8rensen")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto folder = openFixture(c.file);
        EXPECT_EQ(folder->property(c.index, c.property), c.expected);
    }
}

// Exporters that write one line per field leave empty TEL and EMAIL lines; a real value of the
// same kind after one must still be found.
TEST(VCardContacts, EmptyLinesHideNoLaterValue)
{
    struct Case
    {
        const char *name;
        QByteArray lines;
        QString property;
        QString expected;
    };
    const Case cases[] = {
        {"HomeAfterEmptyHome", "TEL;HOME;VOICE:\r\nTEL;HOME;VOICE:030 1234567\r\n", "HomeTelephoneNumber",
         "030 1234567"},
        {"NoSecondHomeFromAnEmptyLine", "TEL;HOME;VOICE:\r\nTEL;HOME;VOICE:030 1234567\r\n",
         "Home2TelephoneNumber", ""},
        {"FaxAfterEmptyFax", "TEL;WORK;FAX:\r\nTEL;WORK;FAX:030 99\r\n", "BusinessFaxNumber", "030 99"},
        {"PrimaryAfterEmptyPreferred", "TEL;PREF:\r\nTEL:030 55\r\n", "PrimaryTelephoneNumber", "030 55"},
        {"MailAfterEmptyPreferredMail", "EMAIL;PREF;INTERNET:\r\nEMAIL;INTERNET:a@example.org\r\n",
         "Email1Address", "a@example.org"},
        {"NoSecondMailFromAnEmptyLine", "EMAIL;PREF;INTERNET:\r\nEMAIL;INTERNET:a@example.org\r\n",
         "Email2AddressType", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QList<VCard> cards =
            parseVCards("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Eva Fischer\r\n" + c.lines + "END:VCARD\r\n");
        ASSERT_EQ(cards.size(), 1);
        EXPECT_EQ(contactProperty(cards.first(), c.property), c.expected);
    }
}

TEST(VCardContacts, GroupEntriesHaveNoContactProperties)
{
    struct Case
    {
        const char *name;
        QString file;
        int count;
        int groupIndex;
    };
    const Case cases[] = {
        {"Version4Kind", QStringLiteral("contacts40.vcf"), 3, 2},
        {"AddressBookServerKind", QStringLiteral("with_group.vcf"), 3, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto folder = openFixture(c.file);
        ASSERT_EQ(folder->count(), c.count);
        EXPECT_THROW(folder->property(c.groupIndex, QStringLiteral("FullName")), BoxvisorError);
        EXPECT_THROW(folder->property(c.groupIndex, QStringLiteral("HomeTelephoneNumber")), BoxvisorError);
        EXPECT_NO_THROW(folder->property(c.groupIndex + 1, QStringLiteral("FullName")));
    }
    const VCard evolutionList =
        parseVCards("BEGIN:VCARD\r\nFN:Liste\r\nX-EVOLUTION-LIST:TRUE\r\nEND:VCARD\r\n").first();
    EXPECT_TRUE(isContactGroup(evolutionList));
    const VCard organisation = parseVCards("BEGIN:VCARD\r\nKIND:org\r\nFN:Firma\r\nEND:VCARD\r\n").first();
    EXPECT_FALSE(isContactGroup(organisation));
}

TEST(VCardContacts, FolderIndexOutsideThrows)
{
    const auto folder = openFixture(QStringLiteral("with_group.vcf"));
    EXPECT_THROW(folder->property(0, QStringLiteral("FullName")), BoxvisorError);
    EXPECT_THROW(folder->property(4, QStringLiteral("FullName")), BoxvisorError);
}

TEST(VCardOutlook, InstalledMeansAContactsFileIsConfigured)
{
    QString configured;
    VCardOutlook source([&] { return configured; });
    EXPECT_FALSE(source.isInstalled());
    EXPECT_THROW(source.openContacts(), BoxvisorError);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    configured = dir.filePath(QStringLiteral("fehlt.vcf"));
    EXPECT_TRUE(source.isInstalled());
    EXPECT_FALSE(source.isRunning());
    try {
        source.openContacts();
        ADD_FAILURE() << "a missing file was read";
    } catch (const FileError &error) {
        EXPECT_TRUE(error.message().contains(configured)) << error.what();
    }

    QFile notCards(dir.filePath(QStringLiteral("notizen.txt")));
    ASSERT_TRUE(notCards.open(QIODevice::WriteOnly));
    notCards.write("Einkaufsliste: Milch, Brot\n");
    notCards.close();
    configured = notCards.fileName();
    EXPECT_THROW(source.openContacts(), ParseError);

    QFile empty(dir.filePath(QStringLiteral("leer.vcf")));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    configured = empty.fileName();
    EXPECT_TRUE(source.isRunning());
    EXPECT_EQ(source.openContacts()->count(), 0);

    EXPECT_THROW(source.connect(), BoxvisorError);
    EXPECT_THROW(source.inboxItemCount(), BoxvisorError);
    EXPECT_THROW(source.unreadItemCount(), BoxvisorError);
}

// Damaged files (cut anywhere, bytes flipped) give cards or nothing, never a crash or a throw
// from the contacts' properties other than the group rule.
TEST(VCardContacts, DamagedFixturesNeverCrash)
{
    for (const char *name : {"outlook21.vcf", "export30.vcf", "contacts40.vcf", "with_group.vcf"}) {
        SCOPED_TRACE(name);
        QFile file(fixture(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        for (qsizetype cut = 0; cut <= data.size(); cut += 7) {
            QByteArray damaged = data.left(cut);
            if (cut > 0)
                damaged[cut / 2] = static_cast<char>(damaged[cut / 2] ^ 0x5A);
            for (const VCard &card : parseVCards(damaged)) {
                if (isContactGroup(card))
                    continue;
                for (const QString &property : contactPropertyNames())
                    (void)contactProperty(card, property);
            }
        }
    }
}
