// Program entry: the splash, then the windows, main window first, then the message loop.
// This is the one place that wires the subsystems together.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSpinBox>

#include <chrono>
#include <memory>

#include "app/curl_box_client.h"
#include "app/settings_file.h"
#include "app/ui/boxvisor_application.h"
#include "app/ui/error_box.h"
#include "app/ui/frm_config.h"
#include "app/ui/frm_log.h"
#include "app/ui/frm_main.h"
#include "app/ui/mssg_hint.h"
#include "app/ui/periodic_timer.h"
#include "app/ui/placeholder_dialog.h"
#include "callnotify/call_handler.h"
#include "callnotify/phone_book.h"
#include "callnotify/ui/frm_tel_book.h"
#include "capi/capi_monitor.h"
#include "common/activity_log.h"
#include "extras/ui/about_window.h"
#include "extras/ui/splash_window.h"
#include "outlook/outlook_interface.h"
#include "outlook/vcard_outlook.h"
#include "timers/channel_settings.h"
#include "timers/ui/frm_timer.h"

namespace {

QLabel *callLabel(TFrmMain &main, CallLabel label)
{
    switch (label) {
    case CallLabel::lblrufnummer:
        return main.lblrufnummer;
    case CallLabel::lblTime:
        return main.lblTime;
    case CallLabel::lblMsn:
        return main.lblMsn;
    case CallLabel::lblUnreadMails:
        return main.lblUnreadMails;
    case CallLabel::lblUnreadMailTime:
        return main.lblUnreadMailTime;
    }
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    BoxvisorApplication app(argc, argv);
    showSplashStep(std::chrono::milliseconds(2000));

    ActivityLog log;
    const QString iniPath = settingsFilePath();
    PhoneBook phoneBook;

    // The configuration dialog holds the live settings; it is created right after the main
    // window, and everything that reads a setting asks it at the moment of use.
    QPointer<TFrmConfig> FrmConfig;
    const std::unique_ptr<BoxClient> http =
        makeCurlBoxClient([&FrmConfig] { return FrmConfig ? FrmConfig->edtBoxIP->text() : QString(); });

    // The call monitor reports to the main window once that exists; it is stopped before any
    // window goes away.
    QPointer<TFrmMain> mainWindow;
    auto monitor = std::make_unique<TCapiMonitor>();
    monitor->OnIncomingCall = [&mainWindow](const QString &calling, const QString &called, quint16 cip,
                                            const QString &) {
        if (mainWindow)
            mainWindow->CapiMonitor1IncomingCall(calling, called, cip);
    };

    MainWindowDeps deps;
    deps.Http1 = http.get();
    deps.log = &log;
    deps.iniPath = iniPath;
    deps.startCallMonitor = [&monitor] { monitor->StartMonitor(1, 0); };
    // A contacts file configured at start-up makes the vCard source "installed".
    deps.makeOutlook = [&FrmConfig](const ConfigSettings &settings) -> std::unique_ptr<Outlook> {
        if (settings.ContactsFile.isEmpty())
            return std::make_unique<NoOutlook>();
        return std::make_unique<VCardOutlook>(
            [&FrmConfig] { return FrmConfig ? FrmConfig->edtContactsFile->text() : QString(); });
    };
    deps.terminate = [] {
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    };
    TFrmMain FrmMain(deps);
    mainWindow = &FrmMain;

    ConfigDialogLinks configLinks;
    configLinks.Timer1 = FrmMain.Timer1;
    configLinks.MssgHint = FrmMain.MssgHint;
    configLinks.started = [&FrmMain] { return FrmMain.Started; };
    configLinks.conectOutlook = [&FrmMain] { FrmMain.ConectOutlook(); };
    configLinks.readSettingsFile = [iniPath] { return loadSettings(iniPath); };
    FrmConfig = new TFrmConfig(configLinks, &FrmMain);

    auto *FrmAbout = new TFrmAbout(FrmMain.StartDir, &FrmMain);
    FrmAbout->OnActivateError = [FrmAbout](const QString &text) { showErrorBox(FrmAbout, text); };

    QPointer<TFrmTelBook> FrmTelBook;
    CallHandler callHandler(
        [&FrmConfig] {
            CallSettings s;
            s.chkAllMsn = FrmConfig->chkAllMsn->isChecked();
            s.edtMsn = FrmConfig->edtMsn->text();
            s.chkActive = FrmConfig->chkActive->isChecked();
            s.edtTime = FrmConfig->edtTime->text();
            s.chkMsgOnPC = FrmConfig->chkMsgOnPC->isChecked();
            s.edtSpinX = FrmConfig->edtSpinX->value();
            s.edtSpinY = FrmConfig->edtSpinY->value();
            return s;
        },
        CallerFields{FrmMain.CallerNumber, FrmMain.CallerName, FrmMain.CalledNumber}, phoneBook, *http, log);
    CallView view;
    view.setLabel = [&FrmMain](CallLabel label, const QString &text) {
        callLabel(FrmMain, label)->setText(text);
    };
    view.callLabelText = [&FrmMain] { return FrmMain.lblrufnummer->text(); };
    view.setFindNumber = [&FrmTelBook](const QString &number) {
        if (FrmTelBook)
            FrmTelBook->EdtFindNumber->setText(number);
    };
    view.showBalloon = [&FrmMain](const QPoint &at, const QString &text) {
        FrmMain.MssgHint->showAt(at, text);
    };
    view.hideBalloon = [&FrmMain] { FrmMain.MssgHint->hideHint(); };
    view.setTimer1Enabled = [&FrmMain](bool on) { FrmMain.Timer1->setEnabled(on); };
    view.setTimer1Interval = [&FrmMain](int ms) { FrmMain.Timer1->setInterval(ms); };
    callHandler.setView(view);
    FrmMain.setIncomingCallHandler([&callHandler](const QString &calling, const QString &called, int cip) {
        callHandler.CapiMonitor1IncomingCall(calling, called, cip);
    });

    TelBookDeps telBookDeps;
    telBookDeps.phoneBook = &phoneBook;
    telBookDeps.callHandler = &callHandler;
    telBookDeps.outlook = [&FrmMain] { return FrmMain.outlook(); };
    telBookDeps.pb1 = FrmMain.pb1;
    telBookDeps.showError = showErrorBox;
    FrmTelBook = new TFrmTelBook(telBookDeps, &FrmMain);

    auto placeholder = [&FrmMain](const char *name, const char *caption) {
        return new PlaceholderDialog(QLatin1String(name), QString::fromUtf8(caption), &FrmMain);
    };
    QWidget *FrmBrowser = placeholder("FrmBrowser", "++ BoxBrowser ++");
    // The timer window is made when it is first opened; the data folders that downloads go to
    // are made at start all the same.
    runGuarded(&FrmMain, [&FrmMain] { TimerFolders(FrmMain.StartDir).ensureExist(); });
    QWidget *FrmZap = placeholder("FrmZap", "++ ZAP ++");
    QWidget *FrmFtp = placeholder("FrmFtp", "++ Box-Movie-ftp ++");
    QWidget *FrmPlanner = placeholder("FrmPlanner", "++ BoxPlanner ++");
    QWidget *SwatForm = placeholder("SwatForm", "Play with your Dreambox ;-)");
    QWidget *OptionsDlg = placeholder("OptionsDlg", "Options");
    QWidget *FrmMail = placeholder("FrmMail", "Mail");
    auto *FrmLog = new TFrmLog(log, &FrmMain);
    QWidget *FrmSms = placeholder("FrmSms", "++ SMS ++");
    // Opened from other windows (the timer window, the game), not from the navigation bar.
    Q_UNUSED(FrmPlanner);
    Q_UNUSED(OptionsDlg);

    MainWindowLinks links;
    links.FrmConfig = FrmConfig;
    links.FrmLog = FrmLog;
    links.FrmTelBook = FrmTelBook;
    links.FrmBrowser = FrmBrowser;
    links.makeFrmTimer = [&http, &log, &FrmMain]() -> QWidget * {
        return new TFrmTimer(*http, log, FrmMain.StartDir, &FrmMain);
    };
    links.FrmZap = FrmZap;
    links.FrmFtp = FrmFtp;
    links.FrmMail = FrmMail;
    links.FrmSms = FrmSms;
    links.SwatForm = SwatForm;
    links.FrmAbout = FrmAbout;
    links.importContacts = [&FrmTelBook] { FrmTelBook->ReadTelefonnumber(); };
    links.settingsParticipants.push_back(
        {[&FrmTelBook](const ConfigSettings &s) { FrmTelBook->loadSettings(s); },
         [&FrmTelBook](ConfigSettings &s) { FrmTelBook->storeSettings(s); }});
    FrmMain.attachWindows(std::move(links));

    FrmMain.show();
    const int result = app.exec();

    // The monitor releases the CAPI application while every window still exists.
    monitor.reset();
    mainWindow = nullptr;
    return result;
}
