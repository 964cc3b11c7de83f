#pragma once

// The main window: the program's spine. It owns what the whole program shares (the message
// timer and balloon, the tray icon, the Outlook source; the box client is lent to it), runs the start-up
// sequence at its first activation, shows the last call and Outlook's state, opens every other
// window from its navigation bar and writes the settings file when the program is ended through
// it. It does not own the other windows (the program entry creates them) nor the call logic,
// which plugs into CapiMonitor1IncomingCall.

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "app/settings_file.h"

class ActivityLog;
class BoxClient;
class Outlook;
class PeriodicTimer;
class QAbstractButton;
class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTimer;
class QToolBox;
class TFrmConfig;
class TFrmLog;
class TMssgHint;

// What the main window needs from the moment it is created.
struct MainWindowDeps
{
    BoxClient *Http1 = nullptr;
    ActivityLog *log = nullptr;
    QString iniPath;
    // Chooses the Outlook source from the settings just loaded; nullptr or unset means none.
    std::function<std::unique_ptr<Outlook>(const ConfigSettings &)> makeOutlook;
    // Starts the call monitor (controller 1, no reject time-out); its result is not examined.
    std::function<void()> startCallMonitor;
    // Asks the application to end once the current handler has returned.
    std::function<void()> terminate;
};

// Keys of the settings file that belong to another window: load fills the window, store reads it.
struct SettingsParticipant
{
    std::function<void(const ConfigSettings &)> load;
    std::function<void(ConfigSettings &)> store;
};

// The other windows, known once they all exist (the main window is created first).
struct MainWindowLinks
{
    TFrmConfig *FrmConfig = nullptr;
    TFrmLog *FrmLog = nullptr;
    QWidget *FrmTelBook = nullptr;
    QWidget *FrmBrowser = nullptr;
    QWidget *FrmTimer = nullptr;
    // Makes the timer window when it is first opened, if FrmTimer is empty: it is large and
    // most sessions never open it.
    std::function<QWidget *()> makeFrmTimer;
    QWidget *FrmZap = nullptr;
    QWidget *FrmFtp = nullptr;
    QWidget *FrmMail = nullptr;
    QWidget *FrmSms = nullptr;
    QWidget *SwatForm = nullptr;
    QWidget *FrmAbout = nullptr;
    std::vector<SettingsParticipant> settingsParticipants;
    // Hides the mail window's "Read new Mails" and "Suche" buttons.
    std::function<void()> hideMailButtons;
    // The phone book's Refresh: imports the contacts of the Outlook source.
    std::function<void()> importContacts;
};

class TFrmMain final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFrmMain)

public:
    enum class NavItem
    {
        TelBook,
        Browser,
        Timer,
        Zap,
        Ftp,
        Mail,
        Sms,
        Config,
        Game,
        Log,
        About
    };

    explicit TFrmMain(MainWindowDeps deps, QWidget *parent = nullptr);
    ~TFrmMain() override;

    void attachWindows(MainWindowLinks links);

    // Runs the start-up sequence once; returns at once when start-up is done. Throws when a step
    // fails, leaving Started false so that the next activation runs it again.
    void FormActivate();
    // Writes every key to the settings file; throws FileError naming the file.
    void SaveIni();
    // The exit button: save, minimise, end. A failed save keeps the program open.
    void LMDOfficeButton1Click();
    void AppDeactivate();
    void TrayClick();
    void Timer1Timer();
    // Calls arrive here from the call monitor; the call handler, once set, does the work.
    void CapiMonitor1IncomingCall(const QString &calling, const QString &called, int cip);
    // Connects to the Outlook source and starts watching it (set by the watcher).
    void ConectOutlook();

    void setIncomingCallHandler(std::function<void(const QString &, const QString &, int)> handler);
    void setConectOutlookHandler(std::function<void()> handler);

    // The window an item opens, modal except the log.
    void openNavItem(NavItem item);
    QAbstractButton *navButton(NavItem item) const;

    Outlook *outlook() const { return m_outlook.get(); }
    BoxClient *Http1() const { return m_deps.Http1; }
    ActivityLog &log() const { return *m_deps.log; }
    const MainWindowLinks &windows() const { return m_links; }
    bool isTrayActive() const { return m_trayActive; }
    // The status bar's lock-key and clock texts, refreshed every second.
    QString clockText() const;

    // State shared with the other windows.
    QString CallerNumber;
    QString CallerName;
    QString CalledNumber;
    QString StartDir;
    bool Started = false;
    bool MailReadFailed = false;
    int NewMailCount = 0;

    // Controls and components other windows use.
    QToolBox *ButtonBar;
    QLabel *lblrufnummer;
    QLabel *lblTime;
    QLabel *lblMsn;
    QLabel *lblUnreadMails;
    QLabel *lblReminder;
    QLabel *lblUnreadMailTime;
    QPushButton *Button1;
    QPushButton *Button2;
    QPushButton *LMDOfficeButton1;
    QProgressBar *pb1;
    PeriodicTimer *Timer1;
    PeriodicTimer *TimerMsgOutlook;
    TMssgHint *MssgHint;
    QSystemTrayIcon *Tray;

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void FormCreate();
    void activationReached();
    void buildControls();
    QWidget *buildNavigationBar();
    void updateStatusBar();
    void loadGatewayList();
    void showWindow(QWidget *window, bool modal);
    ConfigSettings collectSettings() const;

    MainWindowDeps m_deps;
    MainWindowLinks m_links;
    ConfigSettings m_settings; // as loaded; keeps the keys of windows that do not exist
    std::unique_ptr<Outlook> m_outlook;
    std::function<void(const QString &, const QString &, int)> m_incomingCallHandler;
    std::function<void()> m_conectOutlookHandler;
    std::vector<QAbstractButton *> m_navButtons;
    QLabel *m_clock;
    QLabel *m_num;
    QLabel *m_scroll;
    QLabel *m_caps;
    QTimer *m_clockTimer;
    bool m_trayActive = false;
    bool m_inFormActivate = false;
    bool m_activationArmed = true;
    bool m_terminating = false;
    bool m_settingsLoaded = false;
    bool m_shownOnce = false;
    bool m_painted = false;
    bool m_activationPending = false;
};
