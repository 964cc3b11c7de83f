#include "app/settings_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "common/profile_file.h"

namespace {
const QString kFileName = QStringLiteral("Boxvisor.ini");
const QString kConfig = QStringLiteral("FrmConfig");
const QString kTelBook = QStringLiteral("FrmTelBook");
const QString kFtp = QStringLiteral("FrmFtp");
const QString kSms = QStringLiteral("FrmSMS");

// Single-line fields cannot hold a line break in their controls; one that still arrives
// becomes a blank rather than splitting the value across lines of the file.
QString oneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}
} // namespace

ConfigSettings loadSettings(const QString &iniPath)
{
    const ProfileFile ini(iniPath);
    const ConfigSettings d;
    ConfigSettings s;
    s.EdtMsn = ini.readString(kConfig, QStringLiteral("EdtMsn"), d.EdtMsn);
    s.ChkAllMsn = ini.readBool(kConfig, QStringLiteral("ChkAllMsn"), d.ChkAllMsn);
    s.ChkAktive = ini.readBool(kConfig, QStringLiteral("ChkAktive"), d.ChkAktive);
    s.EdtBoxIP = ini.readString(kConfig, QStringLiteral("EdtBoxIP"), d.EdtBoxIP);
    s.EdtTime = ini.readString(kConfig, QStringLiteral("EdtTime"), d.EdtTime);
    s.edtSpinX = ini.readInteger(kConfig, QStringLiteral("edtSpinX"), d.edtSpinX);
    s.edtSpinY = ini.readInteger(kConfig, QStringLiteral("edtSpinY"), d.edtSpinY);
    s.chkWatchMail = ini.readBool(kConfig, QStringLiteral("chkWatchMail"), d.chkWatchMail);
    s.chkWatchReminder = ini.readBool(kConfig, QStringLiteral("chkWatchReminder"), d.chkWatchReminder);
    s.ChkMsgOnPC = ini.readBool(kConfig, QStringLiteral("ChkMsgOnPC"), d.ChkMsgOnPC);
    s.ChkeMaiFilter = ini.readBool(kConfig, QStringLiteral("ChkeMaiFilter"), d.ChkeMaiFilter);
    s.XChangeSupport = ini.readBool(kConfig, QStringLiteral("XChangeSupport"), d.XChangeSupport);
    s.UseOLContcts = ini.readBool(kConfig, QStringLiteral("UseOLContcts"), d.UseOLContcts);
    s.chkMail2Timer = ini.readBool(kConfig, QStringLiteral("chkMail2Timer"), d.chkMail2Timer);
    s.chkMailFeedback = ini.readBool(kConfig, QStringLiteral("chkMailFeedback"), d.chkMailFeedback);
    s.chkSmsFeedback = ini.readBool(kConfig, QStringLiteral("chkSmsFeedback"), d.chkSmsFeedback);
    s.edtSecurecode = ini.readString(kConfig, QStringLiteral("edtSecurecode"), d.edtSecurecode);
    s.edtFeedbackMail = ini.readString(kConfig, QStringLiteral("edtFeedbackMail"), d.edtFeedbackMail);
    s.edtSmsPhonenumber = ini.readString(kConfig, QStringLiteral("edtSmsPhonenumber"), d.edtSmsPhonenumber);
    s.GroupProv = ini.readInteger(kConfig, QStringLiteral("GroupProv"), d.GroupProv);
    s.edtGateway = ini.readInteger(kConfig, QStringLiteral("edtGateway"), d.edtGateway);
    s.edtGatewayText = ini.readString(kConfig, QStringLiteral("edtGatewayText"), d.edtGatewayText);
    s.ContactsFile = ini.readString(kConfig, QStringLiteral("ContactsFile"), d.ContactsFile);
    s.CBTelName = ini.readInteger(kTelBook, QStringLiteral("CBTelName"), d.CBTelName);
    s.CBTelNumber = ini.readInteger(kTelBook, QStringLiteral("CBTelNumber"), d.CBTelNumber);
    s.MatchNotations = ini.readBool(kTelBook, QStringLiteral("MatchNotations"), d.MatchNotations);
    s.BE1 = ini.readString(kFtp, QStringLiteral("BE1"), d.BE1);
    s.MsgMemoIO = decodeMemoValue(ini.readString(kSms, QStringLiteral("MsgMemoIO"), d.MsgMemoIO));
    return s;
}

void saveSettings(const QString &iniPath, const ConfigSettings &s)
{
    // One atomic replacement: a failure leaves the previous file whole instead of half saved.
    ProfileBatch ini(iniPath);
    ini.writeString(QStringLiteral("by talvik"), QStringLiteral("Info"),
                    QStringLiteral("Konfigurationsdatei von Boxvisor "));
    ini.writeString(kConfig, QStringLiteral("EdtMsn"), oneLine(s.EdtMsn));
    ini.writeBool(kConfig, QStringLiteral("ChkAllMsn"), s.ChkAllMsn);
    ini.writeBool(kConfig, QStringLiteral("ChkAktive"), s.ChkAktive);
    ini.writeString(kConfig, QStringLiteral("EdtBoxIP"), oneLine(s.EdtBoxIP));
    ini.writeString(kConfig, QStringLiteral("EdtTime"), oneLine(s.EdtTime));
    ini.writeInteger(kConfig, QStringLiteral("edtSpinX"), s.edtSpinX);
    ini.writeInteger(kConfig, QStringLiteral("edtSpinY"), s.edtSpinY);
    ini.writeBool(kConfig, QStringLiteral("chkWatchMail"), s.chkWatchMail);
    ini.writeBool(kConfig, QStringLiteral("chkWatchReminder"), s.chkWatchReminder);
    ini.writeBool(kConfig, QStringLiteral("ChkeMaiFilter"), s.ChkeMaiFilter);
    ini.writeBool(kConfig, QStringLiteral("XChangeSupport"), s.XChangeSupport);
    ini.writeBool(kConfig, QStringLiteral("UseOLContcts"), s.UseOLContcts);
    ini.writeBool(kConfig, QStringLiteral("ChkMsgOnPC"), s.ChkMsgOnPC);
    ini.writeBool(kConfig, QStringLiteral("chkMail2Timer"), s.chkMail2Timer);
    ini.writeBool(kConfig, QStringLiteral("chkMailFeedback"), s.chkMailFeedback);
    ini.writeBool(kConfig, QStringLiteral("chkSmsFeedback"), s.chkSmsFeedback);
    ini.writeString(kConfig, QStringLiteral("edtSecurecode"), oneLine(s.edtSecurecode));
    ini.writeString(kConfig, QStringLiteral("edtFeedbackMail"), oneLine(s.edtFeedbackMail));
    ini.writeString(kConfig, QStringLiteral("edtSmsPhonenumber"), oneLine(s.edtSmsPhonenumber));
    ini.writeInteger(kConfig, QStringLiteral("GroupProv"), s.GroupProv);
    ini.writeInteger(kConfig, QStringLiteral("edtGateway"), s.edtGateway);
    ini.writeString(kConfig, QStringLiteral("edtGatewayText"), oneLine(s.edtGatewayText));
    ini.writeString(kConfig, QStringLiteral("ContactsFile"), oneLine(s.ContactsFile));
    ini.writeInteger(kTelBook, QStringLiteral("CBTelName"), s.CBTelName);
    ini.writeInteger(kTelBook, QStringLiteral("CBTelNumber"), s.CBTelNumber);
    ini.writeBool(kTelBook, QStringLiteral("MatchNotations"), s.MatchNotations);
    ini.writeString(kFtp, QStringLiteral("BE1"), oneLine(s.BE1));
    ini.writeString(kSms, QStringLiteral("MsgMemoIO"), encodeMemoValue(s.MsgMemoIO));
    ini.commit();
}

QString settingsFilePathFor(const QString &programDir, const QString &userConfigDir)
{
    const QFileInfo dir(programDir);
    if (dir.isDir() && dir.isWritable())
        return QDir(programDir).filePath(kFileName);
    QDir().mkpath(userConfigDir);
    return QDir(userConfigDir).filePath(kFileName);
}

QString settingsFilePath()
{
    return settingsFilePathFor(QCoreApplication::applicationDirPath(),
                               QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

QString encodeMemoValue(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\') {
            out += QStringLiteral("\\\\");
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out += QStringLiteral("\\n");
        } else {
            out += c;
        }
    }
    return out;
}

QString decodeMemoValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar next = value.at(i + 1);
            if (next == u'n') {
                out += u'\n';
                ++i;
                continue;
            }
            if (next == u'\\') {
                out += u'\\';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}
