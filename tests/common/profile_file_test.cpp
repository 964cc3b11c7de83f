#include "common/profile_file.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/error.h"
#include "support/test_files.h"

namespace {

class ProfileFileTest : public ::testing::Test
{
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("test.ini")); }
    QTemporaryDir m_dir;
};

struct StringCase
{
    const char *name;
    QByteArray file; // empty: no file at all
    const char *section;
    const char *key;
    QString expected;
};

TEST_F(ProfileFileTest, ReadsStrings)
{
    const QString def = QStringLiteral("<default>");
    const StringCase cases[] = {
        {"MissingFile", {}, "S", "K", def},
        {"PlainValue", "[S]\nK=value\n", "S", "K", QStringLiteral("value")},
        {"NamesIgnoreCase", "[frmCONFIG]\nedtboxip=1.2.3.4\n", "FrmConfig", "EdtBoxIP",
         QStringLiteral("1.2.3.4")},
        {"BlanksAroundNamesAndValue", "[ S ]\n  K  =  two words  \n", "S", "K", QStringLiteral("two words")},
        {"EmptyValueIsNotDefault", "[S]\nK=\n", "S", "K", QString()},
        {"KeyOfOtherSectionIgnored", "[A]\nK=a\n[S]\nX=1\n", "S", "K", def},
        {"MissingSection", "[A]\nK=a\n", "S", "K", def},
        {"FirstSectionAndKeyWin", "[S]\nK=first\nK=second\n[S]\nK=third\n", "S", "K",
         QStringLiteral("first")},
        {"CommentIsNotAKey", "[S]\n;K=commented\n", "S", "K", def},
        {"CrlfLineEndings", "[S]\r\nK=v\r\nL=w\r\n", "S", "K", QStringLiteral("v")},
        {"LastLineWithoutLineEnd", "[S]\nK=end", "S", "K", QStringLiteral("end")},
        {"Utf8BomBeforeFirstSection", "\xEF\xBB\xBF[S]\nK=v\n", "S", "K", QStringLiteral("v")},
        {"Utf8Value", "[S]\nK=Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC\n", "S", "K", QStringLiteral(u"Grüß €")},
        {"Windows1252Value", "[S]\nK=Gr\xFC\xDF \x80\n", "S", "K", QStringLiteral(u"Grüß €")},
        {"EqualsSignInValue", "[S]\nK=a=b\n", "S", "K", QStringLiteral("a=b")},
        {"LongValueCutTo2047", "[S]\nK=" + QByteArray(3000, 'x') + "\n", "S", "K", QString(2047, u'x')},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path());
        if (!c.file.isEmpty())
            testfiles::write(path(), c.file);
        const ProfileFile ini(path());
        EXPECT_EQ(ini.readString(QString::fromLatin1(c.section), QString::fromLatin1(c.key), def),
                  c.expected);
    }
}

struct NumberCase
{
    const char *name;
    QByteArray value;    // null: key missing
    int expectedInteger; // with default 77
    bool boolWithDefaultFalse;
    bool boolWithDefaultTrue;
};

TEST_F(ProfileFileTest, ReadsIntegersAndBooleans)
{
    const NumberCase cases[] = {
        {"Missing", QByteArray(), 77, false, true},
        {"Empty", "", 77, false, true},
        {"One", "1", 1, true, true},
        {"Zero", "0", 0, false, false},
        {"Two", "2", 2, true, true},
        {"Negative", "-5", -5, true, true},
        {"BlanksAround", "  12  ", 12, true, true},
        {"HexLower", "0x1f", 31, true, true},
        {"HexUpper", "0X10", 16, true, true},
        {"HexZero", "0x0", 0, false, false},
        {"HexPrefixOnly", "0x", 77, false, true},
        {"BadHex", "0xZZ", 77, false, true},
        {"Word", "true", 77, false, true},
        {"NumberThenWord", "12abc", 77, false, true},
        {"TooLarge", "99999999999", 77, false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        testfiles::write(path(), c.value.isNull() ? QByteArray("[S]\nOther=1\n") : "[S]\nK=" + c.value + "\n");
        const ProfileFile ini(path());
        EXPECT_EQ(ini.readInteger(QStringLiteral("S"), QStringLiteral("K"), 77), c.expectedInteger);
        EXPECT_EQ(ini.readBool(QStringLiteral("S"), QStringLiteral("K"), false), c.boolWithDefaultFalse);
        EXPECT_EQ(ini.readBool(QStringLiteral("S"), QStringLiteral("K"), true), c.boolWithDefaultTrue);
    }
}

TEST_F(ProfileFileTest, WritesNewFileWithSectionsInOrder)
{
    ProfileFile ini(path());
    ini.writeString(QStringLiteral("A"), QStringLiteral("Text"), QStringLiteral("hello world "));
    ini.writeInteger(QStringLiteral("B"), QStringLiteral("Number"), -42);
    ini.writeBool(QStringLiteral("A"), QStringLiteral("Flag"), true);
    ini.writeBool(QStringLiteral("B"), QStringLiteral("Off"), false);
    EXPECT_EQ(testfiles::readOrEmpty(path()), QByteArray("[A]\nText=hello world \nFlag=1\n\n[B]\nNumber=-42\nOff=0\n"));
    EXPECT_EQ(ini.readInteger(QStringLiteral("b"), QStringLiteral("NUMBER"), 0), -42);
}

struct EditCase
{
    const char *name;
    QByteArray before;
    const char *section;
    const char *key;
    QString value;
    QByteArray after;
};

// Only the written line changes (or one line is inserted); everything else stays as it was.
TEST_F(ProfileFileTest, EditsKeepTheRestOfTheFile)
{
    const EditCase cases[] = {
        {"ReplaceValueKeepsKeySpelling", "; my settings\n[S]\nKey = old\nOther=x\n", "s", "KEY",
         QStringLiteral("new"), "; my settings\n[S]\nKey =new\nOther=x\n"},
        {"NewKeyAtEndOfSection", "[S]\nA=1\nB=2\n\n[T]\nC=3\n", "S", "New", QStringLiteral("v"),
         "[S]\nA=1\nB=2\nNew=v\n\n[T]\nC=3\n"},
        {"NewKeyBeforeTrailingComment", "[S]\nA=1\n; about T\n[T]\n", "S", "New", QStringLiteral("v"),
         "[S]\nA=1\nNew=v\n; about T\n[T]\n"},
        {"NewKeyInEmptySection", "[S]\n[T]\nC=3\n", "S", "New", QStringLiteral("v"),
         "[S]\nNew=v\n[T]\nC=3\n"},
        {"NewKeyInLastSectionWithoutLineEnd", "[S]\nA=1", "S", "New", QStringLiteral("v"),
         "[S]\nA=1\nNew=v\n"},
        {"NewSectionAtEnd", "[S]\nA=1\n", "T", "New", QStringLiteral("v"), "[S]\nA=1\n\n[T]\nNew=v\n"},
        {"CrlfFileGetsCrlfLines", "[S]\r\nA=1\r\n", "S", "New", QStringLiteral("v"),
         "[S]\r\nA=1\r\nNew=v\r\n"},
        {"BomKept", "\xEF\xBB\xBF[S]\nA=1\n", "S", "A", QStringLiteral("2"), "\xEF\xBB\xBF[S]\nA=2\n"},
        {"Utf8FileGetsUtf8", "[S]\nA=\xC3\xA4\n", "S", "B", QStringLiteral(u"Ü"),
         "[S]\nA=\xC3\xA4\nB=\xC3\x9C\n"},
        {"Windows1252FileGetsWindows1252", "[S]\nA=\xE4\n", "S", "B", QStringLiteral(u"Ü€"),
         "[S]\nA=\xE4\nB=\xDC\x80\n"},
        {"Windows1252FileTurnsUtf8WhenNeeded", "; \xFC\n[S]\nA=\xE4\n", "S", "B", QStringLiteral(u"Ω"),
         "; \xC3\xBC\n[S]\nA=\xC3\xA4\nB=\xCE\xA9\n"},
        {"UnknownLinesKept", "garbage line\n[S]\n\tA=1\n", "S", "A", QStringLiteral("2"),
         "garbage line\n[S]\n\tA=2\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        testfiles::write(path(), c.before);
        ProfileFile ini(path());
        ini.writeString(QString::fromLatin1(c.section), QString::fromLatin1(c.key), c.value);
        EXPECT_EQ(testfiles::readOrEmpty(path()), c.after);
        EXPECT_EQ(ini.readString(QString::fromLatin1(c.section), QString::fromLatin1(c.key), {}), c.value);
    }
}

// Files that are not profile text at all (binary junk, NUL bytes, lone CRs, a huge line):
// reads give the default or some value, a write appends its section and keeps every old byte.
TEST_F(ProfileFileTest, JunkFilesAreReadSafelyAndKeptOnWrite)
{
    QByteArray random(4096, '\0');
    quint32 seed = 12345;
    for (char &c : random) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    const struct
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        {"RandomBytes", random},
        {"NulBytesInLines", QByteArray("[S]\nK=a\0b\n\0\0[T\0]\n", 17)},
        {"LoneCarriageReturns", "[S]\rK=v\r[T]\rX=1"},
        {"UnclosedSectionAndBareEquals", "[S\n=\n=x\n[\n]\n"},
        {"HugeLine", "[S]\nK=" + QByteArray(1 << 20, 'y')},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        testfiles::write(path(), c.bytes);
        ProfileFile ini(path());
        EXPECT_LE(ini.readString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("d")).size(), 2047);
        ini.readInteger(QStringLiteral("T"), QStringLiteral("X"), 0);
        ini.writeString(QStringLiteral("New Section"), QStringLiteral("Key"), QStringLiteral("value"));
        const QByteArray after = testfiles::readOrEmpty(path());
        EXPECT_TRUE(after.startsWith(c.bytes));
        EXPECT_TRUE(after.endsWith("[New Section]\nKey=value\n")) << after.right(40).toHex().constData();
        EXPECT_EQ(ini.readString(QStringLiteral("new section"), QStringLiteral("KEY"), {}),
                  QStringLiteral("value"));
    }
}

TEST_F(ProfileFileTest, BatchGivesTheSameFileAsSingleWrites)
{
    const QByteArray start = "; keep me\r\n[Two]\r\nb=old\r\n[one]\r\nx=1\r\n";
    const QString single = m_dir.filePath(QStringLiteral("single.ini"));
    testfiles::write(single, start);
    testfiles::write(path(), start);

    ProfileFile ini(single);
    ini.writeString(QStringLiteral("One"), QStringLiteral("a"), QStringLiteral("text"));
    ini.writeInteger(QStringLiteral("Two"), QStringLiteral("B"), 7);
    ini.writeBool(QStringLiteral("Three"), QStringLiteral("c"), true);
    ini.writeString(QStringLiteral("One"), QStringLiteral("a"), QStringLiteral("again"));

    ProfileBatch batch(path());
    batch.writeString(QStringLiteral("One"), QStringLiteral("a"), QStringLiteral("text"));
    batch.writeInteger(QStringLiteral("Two"), QStringLiteral("B"), 7);
    batch.writeBool(QStringLiteral("Three"), QStringLiteral("c"), true);
    batch.writeString(QStringLiteral("One"), QStringLiteral("a"), QStringLiteral("again"));
    EXPECT_EQ(testfiles::readOrEmpty(path()), start) << "nothing is written before commit";
    batch.commit();

    EXPECT_EQ(testfiles::readOrEmpty(path()), testfiles::readOrEmpty(single));
    EXPECT_EQ(testfiles::readOrEmpty(path()),
              QByteArray("; keep me\r\n[Two]\r\nb=7\r\n[one]\r\nx=1\r\na=again\r\n\r\n[Three]\r\nc=1\r\n"));
}

TEST_F(ProfileFileTest, LineBreakInValueIsRefusedAndFileKept)
{
    testfiles::write(path(), "[S]\nA=1\n");
    ProfileFile ini(path());
    for (const QString &value : {QStringLiteral("a\nb"), QStringLiteral("a\rb")}) {
        EXPECT_THROW(ini.writeString(QStringLiteral("S"), QStringLiteral("A"), value), BoxvisorError);
        EXPECT_EQ(testfiles::readOrEmpty(path()), QByteArray("[S]\nA=1\n"));
    }
}

TEST_F(ProfileFileTest, ParentIsAFileThrowsFileErrorNamingTheFile)
{
    testfiles::write(m_dir.filePath(QStringLiteral("plain")), "x");
    const QString bad = m_dir.filePath(QStringLiteral("plain/test.ini"));
    ProfileFile ini(bad);
    try {
        ini.writeString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("v"));
        FAIL() << "no error";
    } catch (const FileError &e) {
        EXPECT_TRUE(e.message().contains(bad)) << e.what();
    }
    EXPECT_EQ(testfiles::readOrEmpty(m_dir.filePath(QStringLiteral("plain"))), QByteArray("x"));
}

// Restores a folder's permissions when the test ends, also on failure.
struct PermissionGuard
{
    QString path;
    QFile::Permissions saved;
    ~PermissionGuard() { QFile::setPermissions(path, saved); }
};

TEST_F(ProfileFileTest, ReadOnlyFolderThrowsFileErrorAndKeepsOldFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write into read-only folders";
    const QString sub = m_dir.filePath(QStringLiteral("ro"));
    ASSERT_TRUE(QDir().mkpath(sub));
    const QString file = sub + QStringLiteral("/test.ini");
    testfiles::write(file, "[S]\nA=1\n");
    PermissionGuard guard{sub, QFile::permissions(sub)};
    ASSERT_TRUE(QFile::setPermissions(sub, QFile::ReadOwner | QFile::ExeOwner));
    ProfileFile ini(file);
    try {
        ini.writeString(QStringLiteral("S"), QStringLiteral("A"), QStringLiteral("2"));
        FAIL() << "no error";
    } catch (const FileError &e) {
        EXPECT_TRUE(e.message().contains(file)) << e.what();
    }
    EXPECT_EQ(testfiles::readOrEmpty(file), QByteArray("[S]\nA=1\n"));
}

TEST_F(ProfileFileTest, UnreadableFileIsNotOverwritten)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    testfiles::write(path(), "[S]\nA=1\n");
    PermissionGuard guard{path(), QFile::permissions(path())};
    ASSERT_TRUE(QFile::setPermissions(path(), QFile::WriteOwner));
    ProfileFile ini(path());
    EXPECT_EQ(ini.readString(QStringLiteral("S"), QStringLiteral("A"), QStringLiteral("def")),
              QStringLiteral("def"));
    EXPECT_THROW(ini.writeString(QStringLiteral("S"), QStringLiteral("B"), QStringLiteral("2")), FileError);
    QFile::setPermissions(path(), guard.saved);
    EXPECT_EQ(testfiles::readOrEmpty(path()), QByteArray("[S]\nA=1\n"));
}

} // namespace
