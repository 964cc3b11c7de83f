#include "app/settings_file.h"

#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "common/error.h"
#include "support/test_files.h"

// Readable failures for whole-struct comparisons.
void PrintTo(const ConfigSettings &s, std::ostream *os)
{
    *os << "{EdtMsn=" << s.EdtMsn.toStdString() << " EdtBoxIP=" << s.EdtBoxIP.toStdString()
        << " edtSpinX=" << s.edtSpinX << " GroupProv=" << s.GroupProv
        << " ContactsFile=" << s.ContactsFile.toStdString() << " BE1=" << s.BE1.toStdString()
        << " MsgMemoIO=" << s.MsgMemoIO.toStdString() << " ...}";
}

namespace {

// Every field away from its default, with texts that need care in the file.
ConfigSettings unusualSettings()
{
    ConfigSettings s;
    s.EdtMsn = QStringLiteral("987654");
    s.ChkAllMsn = false;
    s.ChkAktive = false;
    s.EdtBoxIP = QStringLiteral("10.0.0.7");
    s.EdtTime = QStringLiteral("25");
    s.edtSpinX = 1500;
    s.edtSpinY = -3;
    s.chkWatchMail = true;
    s.chkWatchReminder = true;
    s.ChkMsgOnPC = true;
    s.ChkeMaiFilter = true;
    s.XChangeSupport = true;
    s.UseOLContcts = false;
    s.chkMail2Timer = true;
    s.chkMailFeedback = true;
    s.chkSmsFeedback = true;
    s.edtSecurecode = QStringLiteral("a=b;c");
    s.edtFeedbackMail = QStringLiteral("me@example.org");
    s.edtSmsPhonenumber = QStringLiteral("0171 555");
    s.GroupProv = 0;
    s.edtGateway = 12;
    s.edtGatewayText = QStringLiteral("[Telecom Paging]; (NZ)");
    s.ContactsFile = QStringLiteral("/home/ü/contacts.vcf");
    s.CBTelName = 3;
    s.CBTelNumber = 0;
    s.MatchNotations = true;
    s.BE1 = QStringLiteral("/srv/Aufnahmen [neu]");
    s.MsgMemoIO = QStringLiteral("Timer ok\nC:\\box\\n\\\\ end\r\nGrüße €");
    return s;
}

class SettingsFileTest : public ::testing::Test
{
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("Boxvisor.ini")); }
    QTemporaryDir m_dir;
};

TEST_F(SettingsFileTest, MissingFileOrSectionGivesDefaults)
{
    ConfigSettings defaults;
    EXPECT_EQ(defaults.EdtMsn, QStringLiteral("41"));
    EXPECT_TRUE(defaults.ChkAllMsn && defaults.ChkAktive && defaults.UseOLContcts);
    EXPECT_FALSE(defaults.chkWatchMail || defaults.chkWatchReminder || defaults.ChkMsgOnPC ||
                 defaults.ChkeMaiFilter || defaults.XChangeSupport || defaults.chkMail2Timer ||
                 defaults.chkMailFeedback || defaults.chkSmsFeedback || defaults.MatchNotations);
    EXPECT_EQ(defaults.EdtTime, QStringLiteral("10"));
    EXPECT_EQ(defaults.edtSpinX, 10);
    EXPECT_EQ(defaults.edtSpinY, 10);
    EXPECT_EQ(defaults.GroupProv, 1);
    EXPECT_EQ(defaults.edtGateway, 1);
    EXPECT_EQ(defaults.edtSecurecode.size(), 3);
    EXPECT_EQ(defaults.MsgMemoIO, QStringLiteral("IO"));

    EXPECT_EQ(loadSettings(path()), defaults) << "no file";
    testfiles::write(path(), "[by talvik]\nInfo=x\n[FrmConfigOld]\nEdtMsn=5\nChkAllMsn=0\n[FrmFtp]\nBE1=/data\n");
    ConfigSettings expected;
    expected.BE1 = QStringLiteral("/data");
    EXPECT_EQ(loadSettings(path()), expected) << "no FrmConfig section";
}

struct ValueCase
{
    const char *name;
    QByteArray file;
    std::function<bool(const ConfigSettings &)> check;
};

TEST_F(SettingsFileTest, ReadsValueEncodings)
{
    const ValueCase cases[] = {
        {"BooleanTwoIsTrue", "[FrmConfig]\nchkWatchMail=2\n", [](const auto &s) { return s.chkWatchMail; }},
        {"BooleanWordGivesDefaultTrue", "[FrmConfig]\nChkAllMsn=false\n",
         [](const auto &s) { return s.ChkAllMsn; }},
        {"BooleanWordGivesDefaultFalse", "[FrmConfig]\nchkWatchMail=yes\n",
         [](const auto &s) { return !s.chkWatchMail; }},
        {"BooleanZero", "[FrmConfig]\nUseOLContcts=0\n", [](const auto &s) { return !s.UseOLContcts; }},
        {"HexInteger", "[FrmConfig]\nedtSpinX=0x20\nGroupProv=0x0\n",
         [](const auto &s) { return s.edtSpinX == 32 && s.GroupProv == 0; }},
        {"IntegerWordGivesDefault", "[FrmTelBook]\nCBTelName=abc\n",
         [](const auto &s) { return s.CBTelName == 1; }},
        {"EmptyTextStaysEmpty", "[FrmConfig]\nEdtTime=\n", [](const auto &s) { return s.EdtTime.isEmpty(); }},
        {"KeyNamesIgnoreCase", "[frmconfig]\nEDTBOXIP=10.1.1.1\n",
         [](const auto &s) { return s.EdtBoxIP == QStringLiteral("10.1.1.1"); }},
        {"MemoLineBreaks", "[FrmSMS]\nMsgMemoIO=a\\nb\\\\nc\n",
         [](const auto &s) { return s.MsgMemoIO == QStringLiteral("a\nb\\nc"); }},
        {"OlderFileWithoutLinuxKeys", "[FrmConfig]\nEdtMsn=7\n[FrmTelBook]\nCBTelName=2\n",
         [](const auto &s) { return s.ContactsFile.isEmpty() && !s.MatchNotations && s.CBTelName == 2; }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        testfiles::write(path(), c.file);
        EXPECT_TRUE(c.check(loadSettings(path())));
    }
}

TEST_F(SettingsFileTest, SaveWritesSectionsAndKeysInOrder)
{
    ConfigSettings s;
    s.BE1 = QStringLiteral("/home/user");
    saveSettings(path(), s);
    EXPECT_EQ(testfiles::readOrEmpty(path()), QByteArray("[by talvik]\n"
                                          "Info=Konfigurationsdatei von Boxvisor \n"
                                          "\n"
                                          "[FrmConfig]\n"
                                          "EdtMsn=41\n"
                                          "ChkAllMsn=1\n"
                                          "ChkAktive=1\n"
                                          "EdtBoxIP=192.168.0.12\n"
                                          "EdtTime=10\n"
                                          "edtSpinX=10\n"
                                          "edtSpinY=10\n"
                                          "chkWatchMail=0\n"
                                          "chkWatchReminder=0\n"
                                          "ChkeMaiFilter=0\n"
                                          "XChangeSupport=0\n"
                                          "UseOLContcts=1\n"
                                          "ChkMsgOnPC=0\n"
                                          "chkMail2Timer=0\n"
                                          "chkMailFeedback=0\n"
                                          "chkSmsFeedback=0\n"
                                          "edtSecurecode=XYZ\n"
                                          "edtFeedbackMail=?@?\n"
                                          "edtSmsPhonenumber=017*\n"
                                          "GroupProv=1\n"
                                          "edtGateway=1\n"
                                          "edtGatewayText=\n"
                                          "ContactsFile=\n"
                                          "\n"
                                          "[FrmTelBook]\n"
                                          "CBTelName=1\n"
                                          "CBTelNumber=1\n"
                                          "MatchNotations=0\n"
                                          "\n"
                                          "[FrmFtp]\n"
                                          "BE1=/home/user\n"
                                          "\n"
                                          "[FrmSMS]\n"
                                          "MsgMemoIO=IO\n"));
}

TEST_F(SettingsFileTest, LoadSaveLoadKeepsEveryValue)
{
    const ConfigSettings original = unusualSettings();
    saveSettings(path(), original);
    const ConfigSettings loaded = loadSettings(path());
    ConfigSettings expected = original;
    expected.MsgMemoIO =
        QStringLiteral("Timer ok\nC:\\box\\n\\\\ end\nGrüße €"); // CR LF reads back as one break
    EXPECT_EQ(loaded, expected);

    const QByteArray first = testfiles::readOrEmpty(path());
    EXPECT_EQ(first.count('\n'), 38) << "the memo stays on one line";
    saveSettings(path(), loaded);
    EXPECT_EQ(testfiles::readOrEmpty(path()), first) << "a second save changes nothing";
}

TEST_F(SettingsFileTest, SaveIntoExistingFileKeepsOtherContent)
{
    testfiles::write(path(), "; written by hand\r\n"
                     "[FrmConfig]\r\n"
                     "EdtBoxIP=10.0.0.1\r\n"
                     "MyOwnKey=keep\r\n"
                     "\r\n"
                     "[Other]\r\n"
                     "x=1\r\n"
                     "[FrmSMS]\r\n"
                     "MsgMemoIO=old");
    ConfigSettings s;
    s.EdtBoxIP = QStringLiteral("10.0.0.2");
    s.ContactsFile = QStringLiteral("/c.vcf");
    s.MsgMemoIO = QStringLiteral("new");
    saveSettings(path(), s);

    const QByteArray after = testfiles::readOrEmpty(path());
    EXPECT_TRUE(after.startsWith(
        "; written by hand\r\n[FrmConfig]\r\nEdtBoxIP=10.0.0.2\r\nMyOwnKey=keep\r\nEdtMsn=41\r\n"))
        << after.constData();
    EXPECT_TRUE(after.contains("ContactsFile=/c.vcf\r\n\r\n[Other]\r\nx=1\r\n[FrmSMS]\r\nMsgMemoIO=new\r\n"))
        << after.constData();
    EXPECT_TRUE(
        after.endsWith(QByteArray("[by talvik]\r\nInfo=Konfigurationsdatei von Boxvisor \r\n\r\n"
                                  "[FrmTelBook]\r\nCBTelName=1\r\nCBTelNumber=1\r\nMatchNotations=0\r\n\r\n"
                                  "[FrmFtp]\r\nBE1=" +
                                  s.BE1.toUtf8() + "\r\n")))
        << after.constData();
    EXPECT_EQ(after.count("\r\n"), after.count('\n')) << "CR LF throughout";
    EXPECT_EQ(loadSettings(path()), s);
}

TEST_F(SettingsFileTest, UnwritableFileThrowsAndKeepsOldFile)
{
    testfiles::write(m_dir.filePath(QStringLiteral("plain")), "x");
    const QString underFile = m_dir.filePath(QStringLiteral("plain/Boxvisor.ini"));
    try {
        saveSettings(underFile, ConfigSettings());
        FAIL() << "no error";
    } catch (const FileError &e) {
        EXPECT_TRUE(e.message().contains(underFile)) << e.what();
    }

    if (geteuid() == 0)
        GTEST_SKIP() << "root may write into read-only folders";
    const QString sub = m_dir.filePath(QStringLiteral("ro"));
    ASSERT_TRUE(QDir().mkpath(sub));
    const QString file = sub + QStringLiteral("/Boxvisor.ini");
    testfiles::write(file, "[FrmConfig]\nEdtMsn=5\n");
    ASSERT_TRUE(QFile::setPermissions(sub, QFile::ReadOwner | QFile::ExeOwner));
    struct Restore
    {
        QString dir;
        ~Restore() { QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); }
    } restore{sub};
    try {
        saveSettings(file, unusualSettings());
        FAIL() << "no error";
    } catch (const FileError &e) {
        EXPECT_TRUE(e.message().contains(file)) << e.what();
    }
    EXPECT_EQ(testfiles::readOrEmpty(file), QByteArray("[FrmConfig]\nEdtMsn=5\n"));
}

TEST_F(SettingsFileTest, MemoValueEncoding)
{
    const struct
    {
        const char *name;
        QString text;
        QString stored;
    } cases[] = {
        {"Plain", QStringLiteral("IO"), QStringLiteral("IO")},
        {"Lf", QStringLiteral("a\nb"), QStringLiteral("a\\nb")},
        {"CrLf", QStringLiteral("a\r\nb"), QStringLiteral("a\\nb")},
        {"LoneCr", QStringLiteral("a\rb"), QStringLiteral("a\\nb")},
        {"Backslash", QStringLiteral("C:\\x"), QStringLiteral("C:\\\\x")},
        {"BackslashN", QStringLiteral("\\n"), QStringLiteral("\\\\n")},
        {"TrailingBackslash", QStringLiteral("x\\"), QStringLiteral("x\\\\")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(encodeMemoValue(c.text), c.stored);
        EXPECT_EQ(
            decodeMemoValue(c.stored),
            QString(c.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n'));
    }
    // Texts written before line breaks were escaped keep a lone backslash.
    EXPECT_EQ(decodeMemoValue(QStringLiteral("C:\\box\\")), QStringLiteral("C:\\box\\"));
}

TEST_F(SettingsFileTest, SettingsPathFallsBackWhenProgramFolderIsNotWritable)
{
    const QString program = m_dir.filePath(QStringLiteral("bin"));
    const QString config = m_dir.filePath(QStringLiteral("config/boxvisor"));
    ASSERT_TRUE(QDir().mkpath(program));
    EXPECT_EQ(settingsFilePathFor(program, config), program + QStringLiteral("/Boxvisor.ini"));

    const QString missing = m_dir.filePath(QStringLiteral("nowhere"));
    EXPECT_EQ(settingsFilePathFor(missing, config), config + QStringLiteral("/Boxvisor.ini"));
    EXPECT_TRUE(QFileInfo(config).isDir()) << "the configuration folder is created";

    if (geteuid() != 0) {
        ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        EXPECT_EQ(settingsFilePathFor(program, config), config + QStringLiteral("/Boxvisor.ini"));
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

} // namespace
