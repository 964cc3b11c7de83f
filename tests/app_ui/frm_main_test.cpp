#include "app_ui_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QGroupBox>
#include <QImage>
#include <QProgressBar>
#include <QToolBox>
#include <QToolButton>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include "app/ui/mssg_hint.h"
#include "app/ui/periodic_timer.h"
#include "common/error.h"

namespace {

int logLinesStartingWith(const ActivityLog &log, const QString &prefix)
{
    return int(std::count_if(log.lines().begin(), log.lines().end(),
                             [&](const QString &l) { return l.startsWith(prefix); }));
}

// Runs the event loop until condition holds or five seconds have passed.
bool waitUntil(const std::function<bool()> &condition)
{
    QDeadlineTimer deadline(5000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

} // namespace

TEST_F(AppUiTest, FirstActivationLoadsEverythingOnceAndLogsTheStart)
{
    writeGatewayList();
    writeIni("[FrmConfig]\nEdtMsn=4711\nEdtTime=15\nedtGateway=1\nedtGatewayText=D2 Vodafone\n"
             "[FrmTelBook]\nCBTelName=3\n");
    createWindows();
    EXPECT_EQ(main->StartDir, m_dir.path());

    main->FormActivate();

    EXPECT_TRUE(main->Started);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(log.lines().first(), QStringLiteral("++ Log ++"));
    EXPECT_TRUE(log.lines().last().startsWith(QStringLiteral("Application start ...  ")));
    EXPECT_GT(log.lines().last().size(), QStringLiteral("Application start ...  ").size())
        << "date and time follow";
    EXPECT_EQ(config->edtMsn->text(), QStringLiteral("4711"));
    EXPECT_EQ(config->GatewayListBox->count(), kGatewayLines.size());
    EXPECT_EQ(config->GatewayListBox->currentIndex(), 1);
    EXPECT_EQ(phoneBookName, 3);
    EXPECT_EQ(main->Timer1->interval(), 15000);
    EXPECT_FALSE(main->Timer1->isEnabled());
    EXPECT_TRUE(main->Button1->isHidden());
    EXPECT_TRUE(main->Button2->isHidden());

    // Later activations never reload, even when the file and the controls have changed.
    writeIni("[FrmConfig]\nEdtMsn=999\n");
    config->edtMsn->setText(QStringLiteral("1234"));
    main->FormActivate();
    main->TrayClick();
    main->FormActivate();
    EXPECT_EQ(config->edtMsn->text(), QStringLiteral("1234"));
    EXPECT_EQ(logLinesStartingWith(log, QStringLiteral("Application start")), 1);
}

TEST_F(AppUiTest, ShowingTheWindowRunsTheStartUpThroughItsActivation)
{
    writeGatewayList();
    createWindows();
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    EXPECT_TRUE(waitUntil([&] { return main->Started; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(logLinesStartingWith(log, QStringLiteral("Application start")), 1);
}

TEST_F(AppUiTest, FailedStartUpRunsAgainWhenTheWindowIsActivatedAgain)
{
    writeGatewayList();
    writeIni("[FrmConfig]\nEdtTime=abc\n");
    createWindows();
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    ASSERT_TRUE(waitUntil([&] { return errorCount() == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(errorCount(), 1) << "the first appearance and the activation run the sequence once";
    EXPECT_FALSE(main->Started);

    // Coming back to the window after another one had the focus runs the sequence again.
    writeIni("[FrmConfig]\nEdtTime=5\n");
    logWindow->show();
    logWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(logWindow));
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    ASSERT_TRUE(waitUntil([&] { return main->Started; }));
    EXPECT_EQ(main->Timer1->interval(), 5000);
    EXPECT_EQ(errorCount(), 1);
}

TEST_F(AppUiTest, MissingGatewayListShowsTheMessageAndEndsWithoutSaving)
{
    createWindows();
    main->FormActivate();

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, MessageKind::Information);
    EXPECT_EQ(messages[0].text, QStringLiteral("Die Datei -> SMSProvider.txt <- wurde nicht gefunden ... "));
    EXPECT_EQ(terminateCalls, 1);
    // The rest of the sequence still runs before the program ends.
    EXPECT_EQ(logLinesStartingWith(log, QStringLiteral("Application start ...  ")), 1);
    EXPECT_EQ(config->GatewayListBox->count(), 0);

    main->close();
    EXPECT_FALSE(QFile::exists(iniPath)) << "the settings are not written when the list is missing";
}

// The gateway list may come from a Windows editor: UTF-8, or bytes of the Windows code page.
TEST_F(AppUiTest, GatewayListIsReadInEitherEncoding)
{
    const struct
    {
        const char *name;
        QByteArray bytes;
        QString provider;
    } cases[] = {
        {"Utf8", "[Télécom €uro]; (F);0123;160;;UCP\n", QStringLiteral("[Télécom €uro]")},
        {"WindowsCodePage",
         "[T\xE9l\xE9"
         "com \x80"
         "uro \x85]; (F);0123;160;;UCP\r\n",
         QStringLiteral("[Télécom €uro …]")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile f(m_dir.filePath(QStringLiteral("SMSProvider.txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.bytes);
        f.close();
        createWindows();
        main->FormActivate();
        ASSERT_EQ(config->GatewayListBox->count(), 1);
        EXPECT_EQ(config->GatewayListBox->itemText(0), c.provider);
        EXPECT_EQ(config->gatewayLine(0).value(5), QStringLiteral("UCP"));
        main.reset();
    }
}

TEST_F(AppUiTest, NonIntegerMessageTimeLeavesStartUpToTheNextActivation)
{
    writeGatewayList();
    writeIni("[FrmConfig]\nEdtTime=\nEdtMsn=11\n");
    createWindows();

    EXPECT_FALSE(runGuarded(main.get(), [this] { main->FormActivate(); }));
    ASSERT_EQ(errorCount(), 1);
    EXPECT_EQ(messages.back().text, QStringLiteral("'' is not a valid integer value"));
    EXPECT_FALSE(main->Started);
    EXPECT_EQ(main->Timer1->interval(), 0) << "steps 7 and 8 did not run";
    EXPECT_EQ(logLinesStartingWith(log, QStringLiteral("Application start")), 1);

    // The next activation runs the whole sequence again, from the file, over any change.
    writeIni("[FrmConfig]\nEdtTime=7\nEdtMsn=22\n");
    config->edtMsn->setText(QStringLiteral("changed in between"));
    main->FormActivate();
    EXPECT_TRUE(main->Started);
    EXPECT_EQ(main->Timer1->interval(), 7000);
    EXPECT_EQ(config->edtMsn->text(), QStringLiteral("22"));
    EXPECT_EQ(logLinesStartingWith(log, QStringLiteral("Application start")), 2);
}

TEST_F(AppUiTest, OutlookSourceDecidesWhichControlsStayUsable)
{
    struct Case
    {
        const char *name;
        bool installed;
        QByteArray ini;
        bool watchEnabled, watchMailChecked, filterEnabled, filterChecked, phoneBookItemEnabled;
        int conects, imports;
    };
    const Case cases[] = {
        {"NotInstalledDisablesBothWatchBoxes", false,
         "[FrmConfig]\nchkWatchMail=1\nchkWatchReminder=1\nChkeMaiFilter=1\n", false, false, true, true, true,
         0, 0},
        {"InstalledWithoutContactsDisablesFilterAndPhoneBook", true,
         "[FrmConfig]\nUseOLContcts=0\nChkeMaiFilter=1\n", true, false, false, false, false, 0, 0},
        {"InstalledWatchingWithContactsConnectsAndImports", true,
         "[FrmConfig]\nchkWatchMail=1\nUseOLContcts=1\nChkeMaiFilter=1\n", true, true, true, true, true, 1,
         1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeGatewayList();
        writeIni(c.ini);
        outlookInstalled = c.installed;
        conectOutlookCalls = importCalls = 0;
        createWindows();
        main->FormActivate();
        ASSERT_TRUE(main->Started);
        EXPECT_EQ(config->chkWatchMail->isEnabled(), c.watchEnabled);
        EXPECT_EQ(config->chkWatchReminder->isEnabled(), c.watchEnabled);
        EXPECT_EQ(config->chkWatchMail->isChecked(), c.watchMailChecked);
        EXPECT_EQ(config->chkMailFilter->isEnabled(), c.filterEnabled);
        EXPECT_EQ(config->chkMailFilter->isChecked(), c.filterChecked);
        EXPECT_EQ(main->navButton(TFrmMain::NavItem::TelBook)->isEnabled(), c.phoneBookItemEnabled);
        EXPECT_EQ(conectOutlookCalls, c.conects);
        EXPECT_EQ(importCalls, c.imports);
        main.reset();
    }
}

TEST_F(AppUiTest, ClosingWritesTheSettingsEvenWhenNothingChanged)
{
    writeGatewayList();
    createWindows();
    main->FormActivate();
    ASSERT_FALSE(QFile::exists(iniPath));
    main->show();

    EXPECT_TRUE(main->close());
    EXPECT_EQ(terminateCalls, 1);
    ASSERT_TRUE(QFile::exists(iniPath));
    const ConfigSettings written = loadSettings(iniPath);
    EXPECT_EQ(written, ConfigSettings{})
        << "a file written from untouched defaults reads back as the defaults";
}

TEST_F(AppUiTest, SavedFileHoldsEveryWindowsCurrentValues)
{
    writeGatewayList();
    writeIni("[FrmTelBook]\nCBTelName=2\n[FrmFtp]\nBE1=/srv/movies\n");
    createWindows();
    main->FormActivate();
    config->edtMsn->setText(QStringLiteral("5550"));
    config->chkMsgOnPC->setChecked(true);
    config->edtSpinX->setValue(321);
    config->GroupProv->setItemIndex(0);
    config->GatewayListBox->setCurrentIndex(3);
    config->edtContactsFile->setText(QStringLiteral("/home/user/contacts.vcf"));
    phoneBookName = 4;

    main->SaveIni();

    const ConfigSettings s = loadSettings(iniPath);
    EXPECT_EQ(s.EdtMsn, QStringLiteral("5550"));
    EXPECT_TRUE(s.ChkMsgOnPC);
    EXPECT_EQ(s.edtSpinX, 321);
    EXPECT_EQ(s.GroupProv, 0);
    EXPECT_EQ(s.edtGateway, 3);
    EXPECT_EQ(s.edtGatewayText, QStringLiteral("Lower case"));
    EXPECT_EQ(s.ContactsFile, QStringLiteral("/home/user/contacts.vcf"));
    EXPECT_EQ(s.CBTelName, 4);
    EXPECT_EQ(s.BE1, QStringLiteral("/srv/movies")) << "keys of windows that are not built are kept";
}

TEST_F(AppUiTest, UnwritableSettingsFileKeepsTheProgramOpen)
{
    writeGatewayList();
    iniPath = m_dir.filePath(QStringLiteral("no-such-folder/Boxvisor.ini"));
    createWindows();
    main->FormActivate();
    main->show();

    EXPECT_FALSE(main->close()) << "closing stops at the failed save";
    EXPECT_TRUE(main->isVisible());
    ASSERT_EQ(errorCount(), 1);
    EXPECT_TRUE(messages.back().text.contains(QStringLiteral("Boxvisor.ini")))
        << messages.back().text.toStdString();

    main->LMDOfficeButton1->click();
    EXPECT_EQ(errorCount(), 2) << "the exit button stops there too";
    EXPECT_EQ(terminateCalls, 0);
    EXPECT_FALSE(main->isMinimized());
}

TEST_F(AppUiTest, ExitButtonSavesAndEnds)
{
    writeGatewayList();
    createWindows();
    main->FormActivate();
    config->edtBoxIP->setText(QStringLiteral("10.0.0.9"));
    main->LMDOfficeButton1->click();
    EXPECT_EQ(terminateCalls, 1);
    EXPECT_EQ(loadSettings(iniPath).EdtBoxIP, QStringLiteral("10.0.0.9"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(AppUiTest, MessageTimerResetsBalloonAndLabels)
{
    writeGatewayList();
    writeIni("[FrmConfig]\nEdtTime=12\nedtSpinX=40\nedtSpinY=50\n");
    createWindows();
    main->FormActivate();

    config->LMDOfficeButton2->click(); // "Test", with "Message on PC" unchecked
    EXPECT_TRUE(main->MssgHint->isVisible());
    EXPECT_EQ(main->MssgHint->text(), QStringLiteral("Ein Anruf kommt ...\nNr : 123"));
    EXPECT_EQ(main->MssgHint->pos(), QPoint(40, 50));
    EXPECT_EQ(main->Timer1->interval(), 2000);
    EXPECT_TRUE(main->Timer1->isRunning());

    main->CapiMonitor1IncomingCall(QStringLiteral("0301234567"), QStringLiteral("41"), 1);
    EXPECT_EQ(main->lblrufnummer->text(), QStringLiteral("0301234567"));
    EXPECT_EQ(main->lblMsn->text(), QStringLiteral("41"));

    QSignalSpy fired(main->Timer1, &PeriodicTimer::timeout);
    ASSERT_TRUE(fired.wait(5000));
    EXPECT_FALSE(main->MssgHint->isVisible());
    EXPECT_FALSE(main->Timer1->isEnabled());
    EXPECT_EQ(main->Timer1->interval(), 12000);
    EXPECT_EQ(main->lblrufnummer->text(), QStringLiteral("-- waiting ... --"));
    EXPECT_EQ(main->lblMsn->text(), QStringLiteral("------"));
}

TEST_F(AppUiTest, TimerWithIntervalZeroNeverFires)
{
    PeriodicTimer timer;
    timer.setEnabled(true);
    EXPECT_TRUE(timer.isEnabled());
    EXPECT_FALSE(timer.isRunning());
    timer.setInterval(10);
    EXPECT_TRUE(timer.isRunning());
    timer.setInterval(0);
    EXPECT_FALSE(timer.isRunning());
}

TEST_F(AppUiTest, TrayIconAlternatesWithActivation)
{
    createWindows();
    main->show();
    main->AppDeactivate();
    EXPECT_TRUE(main->isTrayActive());
    EXPECT_TRUE(main->Tray->isVisible());
    main->showMinimized();
    main->TrayClick();
    EXPECT_FALSE(main->isTrayActive());
    EXPECT_FALSE(main->Tray->isVisible());
    EXPECT_FALSE(main->isMinimized());
}

TEST_F(AppUiTest, NavigationOpensTheLogWithoutWaitingAndOthersModally)
{
    writeGatewayList();
    createWindows();
    main->show();
    main->openNavItem(TFrmMain::NavItem::Log);
    EXPECT_TRUE(logWindow->isVisible());
    EXPECT_FALSE(logWindow->isModal());

    bool wasModal = false;
    QTimer::singleShot(0, config, [&] {
        wasModal = QApplication::activeModalWidget() == config;
        config->LMDOfficeButton1->click(); // "&Close"
    });
    main->openNavItem(TFrmMain::NavItem::Config);
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(config->isVisible());
}

TEST_F(AppUiTest, TimerWindowIsMadeWhenFirstOpenedAndKept)
{
    createWindows();
    int made = 0;
    QPointer<QDialog> timerWindow;
    MainWindowLinks links;
    links.FrmConfig = config;
    links.FrmLog = logWindow;
    links.makeFrmTimer = [&]() -> QWidget * {
        ++made;
        timerWindow = new QDialog(main.get());
        return timerWindow;
    };
    main->attachWindows(std::move(links));
    main->show();
    EXPECT_EQ(made, 0) << "nothing is made before the window is opened";

    for (int opening = 1; opening <= 2; ++opening) {
        SCOPED_TRACE(opening);
        bool shownModally = false;
        QTimer::singleShot(0, main.get(), [&] {
            shownModally = timerWindow && QApplication::activeModalWidget() == timerWindow;
            if (timerWindow)
                timerWindow->reject();
        });
        main->openNavItem(TFrmMain::NavItem::Timer);
        EXPECT_TRUE(shownModally);
        EXPECT_EQ(made, 1);
    }
}

TEST_F(AppUiTest, StatusBarShowsTheClock)
{
    createWindows();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                    .match(main->clockText())
                    .hasMatch())
        << main->clockText().toStdString();
}

namespace {

bool hasPixel(const QImage &image, const QRect &area, QRgb colour)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) == colour)
                return true;
    return false;
}

} // namespace

TEST_F(AppUiTest, NavigationBarImportBarAndConfigTitlesKeepTheirColours)
{
    createWindows();
    main->show();
    QApplication::processEvents();

    // Section tab: dark face inside a darker border; the open page in the bar's blue.
    QAbstractButton *tab = nullptr;
    for (QAbstractButton *b : main->ButtonBar->findChildren<QAbstractButton *>(Qt::FindDirectChildrenOnly))
        if (!qobject_cast<QToolButton *>(b))
            tab = tab ? tab : b;
    ASSERT_NE(tab, nullptr);
    EXPECT_TRUE(tab->font().bold());
    const QImage tabImage = tab->grab().toImage();
    EXPECT_EQ(tabImage.pixel(0, 0), qRgb(0x23, 0x23, 0x6a));
    EXPECT_EQ(tabImage.pixel(tabImage.width() - 4, tabImage.height() / 2), qRgb(0x3c, 0x3c, 0x8c));
    const QImage bar = main->ButtonBar->grab().toImage();
    EXPECT_EQ(bar.pixel(bar.width() / 2, bar.height() - tab->height() - 4), qRgb(0x6a, 0x6a, 0xb8));

    // The contact-import bar shows red segments once it is shown.
    main->pb1->setRange(0, 10);
    main->pb1->setValue(10);
    main->pb1->show();
    QApplication::processEvents();
    const QImage progress = main->pb1->grab().toImage();
    EXPECT_TRUE(hasPixel(progress, progress.rect(), qRgb(255, 0, 0)));

    // Group titles of the config dialog are white once it is shown.
    config->show();
    QApplication::processEvents();
    auto *group = config->findChild<QGroupBox *>(QStringLiteral("grpIsdn"));
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(group->font().bold());
    const QImage groupImage = group->grab().toImage();
    EXPECT_TRUE(hasPixel(groupImage, QRect(0, 0, groupImage.width(), group->fontMetrics().height()),
                         qRgb(255, 255, 255)));
    config->hide();
}
