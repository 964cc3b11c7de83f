// Program entry: splash, then every window once, main window first, then the message loop.

#include <QLineEdit>

#include <chrono>

#include <memory>

#include "app/curl_box_client.h"
#include "app/settings_file.h"
#include "app/ui/boxvisor_application.h"
#include "app/ui/error_box.h"
#include "app/ui/frm_config.h"
#include "app/ui/frm_log.h"
#include "app/ui/frm_main.h"
#include "app/ui/placeholder_dialog.h"
#include "common/activity_log.h"
#include "extras/ui/about_window.h"
#include "extras/ui/splash_window.h"
#include "outlook/outlook_interface.h"

namespace {

std::unique_ptr<Outlook> makeOutlook(const ConfigSettings &)
{
    return std::make_unique<NoOutlook>();
}

} // namespace

int main(int argc, char **argv)
{
    BoxvisorApplication app(argc, argv);
    showSplashStep(std::chrono::milliseconds(2000));

    ActivityLog log;
    const QString iniPath = settingsFilePath();

    // The box address is read from the configuration dialog at every request; the dialog is
    // created right after the main window.
    TFrmConfig *FrmConfig = nullptr;
    const std::unique_ptr<BoxClient> http = makeCurlBoxClient([&FrmConfig] {
        return FrmConfig ? FrmConfig->edtBoxIP->text() : QString();
    });

    MainWindowDeps deps;
    deps.Http1 = http.get();
    deps.log = &log;
    deps.iniPath = iniPath;
    deps.makeOutlook = makeOutlook;
    deps.terminate = [] { QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection); };
    TFrmMain FrmMain(deps);

    ConfigDialogLinks configLinks;
    configLinks.Timer1 = FrmMain.Timer1;
    configLinks.MssgHint = FrmMain.MssgHint;
    configLinks.started = [&FrmMain] { return FrmMain.Started; };
    configLinks.conectOutlook = [&FrmMain] { FrmMain.ConectOutlook(); };
    configLinks.readSettingsFile = [iniPath] { return loadSettings(iniPath); };
    FrmConfig = new TFrmConfig(configLinks, &FrmMain);

    auto placeholder = [&FrmMain](const char *name, const char *caption) {
        return new PlaceholderDialog(QLatin1String(name), QString::fromUtf8(caption), &FrmMain);
    };
    auto *FrmAbout = new TFrmAbout(FrmMain.StartDir, &FrmMain);
    FrmAbout->setObjectName(QStringLiteral("FrmAbout"));
    FrmAbout->OnActivateError = [FrmAbout](const QString &text) { showErrorBox(FrmAbout, text); };
    QWidget *FrmTelBook = placeholder("FrmTelBook", "++ Outlook Telefonbook ++");
    QWidget *FrmBrowser = placeholder("FrmBrowser", "++ BoxBrowser ++");
    QWidget *FrmTimer = placeholder("FrmTimer", "++ BoxTimer ++");
    QWidget *FrmZap = placeholder("FrmZap", "++ ZAP ++");
    QWidget *FrmFtp = placeholder("FrmFtp", "++ Box-Movie-ftp ++");
    QWidget *FrmPlanner = placeholder("FrmPlanner", "++ BoxPlanner ++");
    QWidget *SwatForm = placeholder("SwatForm", "Play with your Dreambox ;-)");
    QWidget *OptionsDlg = placeholder("OptionsDlg", "Options");
    QWidget *FrmMail = placeholder("FrmMail", "Mail");
    auto *FrmLog = new TFrmLog(log, &FrmMain);
    QWidget *FrmSms = placeholder("FrmSms", "++ SMS ++");
    Q_UNUSED(FrmPlanner);
    Q_UNUSED(OptionsDlg);

    MainWindowLinks links;
    links.FrmConfig = FrmConfig;
    links.FrmLog = FrmLog;
    links.FrmTelBook = FrmTelBook;
    links.FrmBrowser = FrmBrowser;
    links.FrmTimer = FrmTimer;
    links.FrmZap = FrmZap;
    links.FrmFtp = FrmFtp;
    links.FrmMail = FrmMail;
    links.FrmSms = FrmSms;
    links.SwatForm = SwatForm;
    links.FrmAbout = FrmAbout;
    FrmMain.attachWindows(std::move(links));

    FrmMain.show();
    return app.exec();
}
