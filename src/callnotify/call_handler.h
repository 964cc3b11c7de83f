#pragma once

// What happens when a call comes in: the call is shown on the main window's labels, the
// calling number is looked up in the phone book, and, when the called number passes the MSN
// filter and messages are active, the caller is announced on the TV through the box's message
// request and, if wanted, in the PC balloon; the call is logged. Timer1Timer puts the labels
// back to idle. This class holds no window: the labels, the balloon, the phone book's search
// field and Timer1 are reached through CallView, the settings through a snapshot read from the
// configuration dialog at the moment of use.

#include <QPoint>
#include <QString>

#include <functional>

class ActivityLog;
class BoxClient;
class PhoneBook;

// The configuration dialog's controls the handler reads.
struct CallSettings
{
    bool chkAllMsn = true;
    QString edtMsn;
    bool chkActive = true;
    QString edtTime; // message time in seconds, as typed
    bool chkMsgOnPC = false;
    int edtSpinX = 10;
    int edtSpinY = 10;
};

// The main window's state the handler reads and writes.
struct CallerFields
{
    QString &CallerNumber;
    QString &CallerName;
    QString &CalledNumber;
};

enum class CallLabel
{
    lblrufnummer,
    lblTime,
    lblMsn,
    lblUnreadMails,
    lblUnreadMailTime
};

// The window side; unset members are skipped.
struct CallView
{
    std::function<void(CallLabel, const QString &)> setLabel;
    std::function<QString()> callLabelText;                           // current caption of lblrufnummer
    std::function<void(const QString &)> setFindNumber;               // the phone book's EdtFindNumber
    std::function<void(const QPoint &, const QString &)> showBalloon; // replaces one showing
    std::function<void()> hideBalloon;
    std::function<void(bool)> setTimer1Enabled;
    std::function<void(int)> setTimer1Interval; // milliseconds
};

class CallHandler
{
public:
    CallHandler(std::function<CallSettings()> settings, CallerFields fields, PhoneBook &phoneBook,
                BoxClient &box, ActivityLog &log);

    void setView(CallView view) { m_view = std::move(view); }

    // The call monitor's OnIncomingCall. Never throws: a failed message request ends the
    // handling (no balloon, no timer, no log line) without a message to the user, as the call
    // arrives in the background.
    void CapiMonitor1IncomingCall(const QString &calling, const QString &called, int cip);

    // The phone book's search and the announcement that follows it (the Find button). A failed
    // message request is thrown (TransferError) so that the window shows it.
    void SucheNummer(const QString &text);

    // The MSN filter, then SendCapiMessageToBox.
    void announce();
    // Sends the caller message to the box (when active), shows the balloon, starts Timer1.
    void SendCapiMessageToBox();
    // Hides the balloon, stops Timer1, resets the labels.
    void Timer1Timer();

    // The message request's target for the current caller (what SendCapiMessageToBox sends).
    QByteArray messageTarget(const CallSettings &settings) const;

    static const QString waitingText; // "-- waiting ... --"
    static const QString idleText;    // "------"

private:
    void setLabel(CallLabel label, const QString &text);

    std::function<CallSettings()> m_settings;
    CallerFields m_fields;
    PhoneBook &m_phoneBook;
    BoxClient &m_box;
    ActivityLog &m_log;
    CallView m_view;
};
