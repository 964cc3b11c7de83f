#include "outlook/vcard_reader.h"

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages for texts.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {
QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

QByteArray utf16le(const QString &text)
{
    QByteArray bytes("\xff\xfe");
    for (const QChar ch : text) {
        bytes.append(static_cast<char>(ch.unicode() & 0xFF));
        bytes.append(static_cast<char>(ch.unicode() >> 8));
    }
    return bytes;
}

// The text of the first property called name in the first card, or a marker when absent.
QString firstText(const QByteArray &data, const QString &name)
{
    const QList<VCard> cards = parseVCards(data);
    if (cards.isEmpty())
        return QStringLiteral("<no card>");
    const VCardProperty *property = cards.first().first(name);
    return property ? property->text() : QStringLiteral("<no %1>").arg(name);
}
} // namespace

TEST(VCardReader, DecodesValuesAsWritersWriteThem)
{
    struct Case
    {
        const char *name;
        QByteArray data;
        QString property;
        QString expected;
    };
    const Case cases[] = {
        {"FoldedLineLosesOneBlank", crlf("BEGIN:VCARD\nVERSION:3.0\nNOTE:abc\n  def\n\tghi\nEND:VCARD\n"),
         QStringLiteral("NOTE"), QStringLiteral("abc defghi")},
        {"FoldInsideUtf8Character",
         QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:K\xc3\r\n \xb6ln\r\nEND:VCARD\r\n"),
         QStringLiteral("FN"), QStringLiteral("K\u00f6ln")},
        {"QuotedPrintableSoftBreak",
         crlf("BEGIN:VCARD\nVERSION:2.1\nNOTE;ENCODING=QUOTED-PRINTABLE:Zeile eins=0D=0AZei=\nle "
              "zwei\nEND:VCARD\n"),
         QStringLiteral("NOTE"), QStringLiteral("Zeile eins\r\nZeile zwei")},
        {"QuotedPrintableBareParameter",
         crlf("BEGIN:VCARD\nVERSION:2.1\nFN;QUOTED-PRINTABLE:A=3DB\nEND:VCARD\n"), QStringLiteral("FN"),
         QStringLiteral("A=B")},
        {"QuotedPrintableStrayEquals",
         crlf("BEGIN:VCARD\nVERSION:2.1\nFN;ENCODING=QUOTED-PRINTABLE:50=% =ZZ\nEND:VCARD\n"),
         QStringLiteral("FN"), QStringLiteral("50=% =ZZ")},
        {"Windows1252InQuotedPrintable",
         crlf("BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=Windows-1252;ENCODING=QUOTED-PRINTABLE:=80 M=FCller "
              "=84x=93\n"
              "END:VCARD\n"),
         QStringLiteral("FN"), QStringLiteral("\u20ac M\u00fcller \u201ex\u201c")},
        {"RawWindows1252Bytes",
         crlf("BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=Windows-1252:Gro\xdf\nEND:VCARD\n"), QStringLiteral("FN"),
         QStringLiteral("Gro\u00df")},
        {"Latin1", crlf("BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=ISO-8859-1:\xc4nne\nEND:VCARD\n"),
         QStringLiteral("FN"), QStringLiteral("\u00c4nne")},
        {"Latin9Euro", crlf("BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=ISO-8859-15:\xa4\nEND:VCARD\n"),
         QStringLiteral("FN"), QStringLiteral("\u20ac")},
        {"UndeclaredEightBitIsWindows1252", crlf("BEGIN:VCARD\nVERSION:2.1\nFN:M\xfcller\nEND:VCARD\n"),
         QStringLiteral("FN"), QStringLiteral("M\u00fcller")},
        {"DeclaredUtf8ThatIsNot", crlf("BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=UTF-8:M\xfcller\nEND:VCARD\n"),
         QStringLiteral("FN"), QStringLiteral("M\u00fcller")},
        {"Utf8", crlf("BEGIN:VCARD\nVERSION:4.0\nFN:Zo\xc3\xab\nEND:VCARD\n"), QStringLiteral("FN"),
         QStringLiteral("Zo\u00eb")},
        {"TextEscapes", crlf("BEGIN:VCARD\nVERSION:3.0\nNOTE:a\\, b\\; c\\\\d\\ne\nEND:VCARD\n"),
         QStringLiteral("NOTE"), QStringLiteral("a, b; c\\d\r\ne")},
        {"LowerCaseNamesAndGroup", crlf("begin:vcard\nversion:3.0\nitem1.fn:x\nend:vcard\n"),
         QStringLiteral("FN"), QStringLiteral("x")},
        {"LfOnlyLineEnds", QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:lf\nEND:VCARD\n"), QStringLiteral("FN"),
         QStringLiteral("lf")},
        {"Utf8ByteOrderMark",
         QByteArray("\xef\xbb\xbf"
                    "BEGIN:VCARD\r\nFN:bom\r\nEND:VCARD\r\n"),
         QStringLiteral("FN"), QStringLiteral("bom")},
        {"Utf16LittleEndian", utf16le(QStringLiteral("BEGIN:VCARD\r\nFN:S\u00f8ren\r\nEND:VCARD\r\n")),
         QStringLiteral("FN"), QStringLiteral("S\u00f8ren")},
        {"CardCutOffKeepsWhatWasRead", QByteArray("BEGIN:VCARD\r\nFN:cut\r\nTEL:12"), QStringLiteral("TEL"),
         QStringLiteral("12")},
        {"NestedAgentSkipped",
         crlf("BEGIN:VCARD\nVERSION:2.1\nAGENT:\nBEGIN:VCARD\nFN:agent\nEND:VCARD\nFN:outer\nEND:VCARD\n"),
         QStringLiteral("FN"), QStringLiteral("outer")},
        {"Base64PhotoDoesNotSwallowNextProperty",
         crlf("BEGIN:VCARD\nVERSION:2.1\nPHOTO;ENCODING=BASE64;TYPE=JPEG:\n /9j/4AAQ\n SkZJRg==\n\nFN:after\n"
              "END:VCARD\n"),
         QStringLiteral("FN"), QStringLiteral("after")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(firstText(c.data, c.property), c.expected);
    }
}

TEST(VCardReader, ReadsParametersOfAllVersions)
{
    const QList<VCard> cards =
        parseVCards(crlf("BEGIN:VCARD\nVERSION:4.0\n"
                         "TEL;VALUE=uri;TYPE=\"voice,home\";PREF=1:tel:+49-30-1\n"
                         "ADR;LABEL=\"Weg 1^nStadt ^'A^'\";type=work;TYPE=Postal:;;Weg 1;Stadt;;;\n"
                         "TEL;WORK;VOICE:2\n"
                         "END:VCARD\n"));
    ASSERT_EQ(cards.size(), 1);
    const VCard &card = cards.first();
    EXPECT_EQ(card.version, QStringLiteral("4.0"));
    const QList<const VCardProperty *> tels = card.all(QStringLiteral("TEL"));
    ASSERT_EQ(tels.size(), 2);
    EXPECT_EQ(tels[0]->types(), (QStringList{"VOICE", "HOME", "PREF"}));
    EXPECT_EQ(tels[1]->types(), (QStringList{"WORK", "VOICE"}));
    const VCardProperty *adr = card.first(QStringLiteral("ADR"));
    ASSERT_NE(adr, nullptr);
    EXPECT_EQ(adr->types(), (QStringList{"WORK", "POSTAL"}));
    EXPECT_EQ(adr->parameters.first().values, QStringList{QStringLiteral("Weg 1\nStadt \"A\"")});
    EXPECT_EQ(adr->components(), (QStringList{"", "", "Weg 1", "Stadt", "", "", ""}));
}

TEST(VCardReader, SplitsComponentsOnlyAtUnescapedSemicolons)
{
    VCardProperty org;
    org.value = QStringLiteral("Schmidt\\; Partner;Steuer\\\\;Rest\\nZeile");
    EXPECT_EQ(org.components(), (QStringList{"Schmidt; Partner", "Steuer\\", "Rest\r\nZeile"}));
}

TEST(VCardReader, SeparatesCardsAndIgnoresTextAroundThem)
{
    const QList<VCard> cards =
        parseVCards(crlf("Kopfzeile eines Mailprogramms\nBEGIN:VCARD\nFN:eins\nEND:VCARD\n"
                         "dazwischen: Unsinn\nBEGIN:VCARD\nFN:zwei\nEND:VCARD\nEND:VCARD\n"));
    ASSERT_EQ(cards.size(), 2);
    EXPECT_EQ(cards[0].first(QStringLiteral("FN"))->text(), QStringLiteral("eins"));
    EXPECT_EQ(cards[1].first(QStringLiteral("FN"))->text(), QStringLiteral("zwei"));
}

TEST(VCardReader, CardWithoutEndEndsAtTheNextCard)
{
    const QList<VCard> cards = parseVCards(crlf("BEGIN:VCARD\nFN:eins\nTEL:1\n"
                                                "BEGIN:VCARD\nFN:zwei\nEND:VCARD\n"
                                                "BEGIN:VCARD\nFN:drei\nEND:VCARD\n"));
    QStringList names;
    for (const VCard &card : cards)
        names.append(card.first(QStringLiteral("FN"))->text());
    EXPECT_EQ(names, (QStringList{"eins", "zwei", "drei"}));
    ASSERT_EQ(cards.size(), 3);
    EXPECT_EQ(cards[0].first(QStringLiteral("TEL"))->text(), QStringLiteral("1"));
}
