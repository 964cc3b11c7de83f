#pragma once

// The settings file "Boxvisor.ini": one struct with a field per key, and the functions that
// read it at start-up and write it at the end. The configuration dialog and the other windows
// copy these values into and out of their controls; this file knows nothing of windows.

#include <QDir>
#include <QString>

// One field per key, named after the key, holding the value used when the key is missing.
struct ConfigSettings
{
    // Section "FrmConfig"
    QString EdtMsn = QStringLiteral("41");
    bool ChkAllMsn = true;
    bool ChkAktive = true;
    QString EdtBoxIP = QStringLiteral("192.168.0.12");
    QString EdtTime = QStringLiteral("10");
    int edtSpinX = 10;
    int edtSpinY = 10;
    bool chkWatchMail = false;
    bool chkWatchReminder = false;
    bool ChkMsgOnPC = false;
    bool ChkeMaiFilter = false;
    bool XChangeSupport = false;
    bool UseOLContcts = true;
    bool chkMail2Timer = false;
    bool chkMailFeedback = false;
    bool chkSmsFeedback = false;
    QString edtSecurecode = QStringLiteral("XYZ");
    QString edtFeedbackMail = QStringLiteral("?@?");
    QString edtSmsPhonenumber = QStringLiteral("017*");
    int GroupProv = 1;  // 0 = TAP, 1 = UCP
    int edtGateway = 1; // line index in the gateway list
    QString edtGatewayText;
    QString ContactsFile; // vCard contacts file (Linux addition, read and written last in its section)

    // Section "FrmTelBook"
    int CBTelName = 1;
    int CBTelNumber = 1;
    bool MatchNotations = false; // also match other notations of a number (Linux addition)

    // Section "FrmFtp": local folder for downloaded recordings. A drive letter means nothing
    // here, so the default is the user's home folder.
    QString BE1 = QDir::homePath();

    // Section "FrmSMS": the SMS memo's whole text; may hold line breaks ('\n'), which the file
    // stores escaped so that the value stays on one line.
    QString MsgMemoIO = QStringLiteral("IO");

    bool operator==(const ConfigSettings &) const = default;
};

// Reads every key anew from the file, in start-up order; missing keys give the defaults above.
ConfigSettings loadSettings(const QString &iniPath);

// Writes the "by talvik" entry and then every key, in one atomic replacement of the file.
// Throws FileError (naming the file and the reason) when the file cannot be written; the old
// file is then left as it was.
void saveSettings(const QString &iniPath, const ConfigSettings &settings);

// "Boxvisor.ini" in the program's folder, or in the user's configuration folder when the
// program's folder is not writable (an installed program usually lives in a read-only folder).
QString settingsFilePath();

// The rule behind settingsFilePath(), with the folders passed in.
QString settingsFilePathFor(const QString &programDir, const QString &userConfigDir);

// How the SMS memo's text is kept on one line of the file: '\' becomes "\\", a line break
// (CR LF, CR or LF) becomes "\n". Decoding keeps a '\' before any other character as it is.
QString encodeMemoValue(const QString &text);
QString decodeMemoValue(const QString &value);
