#include "app_ui_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include "app/ui/periodic_timer.h"

class ConfigDialogTest : public AppUiTest
{
protected:
    void start(const QByteArray &ini = {})
    {
        writeGatewayList();
        if (!ini.isEmpty())
            writeIni(ini);
        createWindows();
        main->FormActivate();
        ASSERT_TRUE(main->Started);
        messages.clear();
    }
};

TEST_F(ConfigDialogTest, FileWithoutTheSectionGivesTheDefaults)
{
    start("[Other]\nx=1\n");
    EXPECT_EQ(config->edtMsn->text(), QStringLiteral("41"));
    EXPECT_TRUE(config->chkAllMsn->isChecked());
    EXPECT_TRUE(config->chkActive->isChecked());
    EXPECT_EQ(config->edtTime->text(), QStringLiteral("10"));
    EXPECT_EQ(config->edtSpinX->value(), 10);
    EXPECT_EQ(config->edtSpinY->value(), 10);
    EXPECT_TRUE(config->chkUseOLContcts->isChecked());
    for (QCheckBox *c :
         {config->chkWatchMail, config->chkWatchReminder, config->chkMsgOnPC, config->chkMailFilter,
          config->chkXChangeSupport, config->chkMail2Timer, config->chkMailFeedback, config->chkSmsFeedback})
        EXPECT_FALSE(c->isChecked()) << c->objectName().toStdString();
    EXPECT_TRUE(config->GroupProv->item(1)->isChecked()) << "UCP";
    EXPECT_EQ(config->GatewayListBox->currentIndex(), 1);
    EXPECT_FALSE(config->edtMsn->isEnabled()) << "All MSN is checked";
    EXPECT_FALSE(config->chkMailFeedback->isEnabled());
    EXPECT_FALSE(config->edtFeedbackMail->isEnabled());
}

TEST_F(ConfigDialogTest, LayoutKeepsItsSizeAndDropDownColumns)
{
    createWindows();
    EXPECT_EQ(config->windowTitle(), QStringLiteral("++ Config ++"));
    EXPECT_EQ(config->size(), QSize(453, 555));
    auto *view = qobject_cast<QTableView *>(config->GatewayListBox->view());
    ASSERT_NE(view, nullptr);
    const int widths[] = {150, 50, 120, 50, 80};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(view->columnWidth(c), widths[c]) << c;
    EXPECT_EQ(view->minimumWidth(), 500);
    const QStringList headers = {"Provider", "Country", "Gateway", "Length", "Pwd", "Library"};
    for (int c = 0; c < headers.size(); ++c)
        EXPECT_EQ(config->GatewayListBox->model()->headerData(c, Qt::Horizontal).toString(), headers[c]);
}

TEST_F(ConfigDialogTest, AllMsnEnablesTheMsnFieldOnlyWhenUnchecked)
{
    start();
    config->chkAllMsn->setChecked(false);
    EXPECT_TRUE(config->edtMsn->isEnabled());
    config->chkAllMsn->setChecked(true);
    EXPECT_FALSE(config->edtMsn->isEnabled());
}

TEST_F(ConfigDialogTest, GatewaySelectionSetsTheProtocolFromTheLine)
{
    struct Case
    {
        const char *name;
        int line;
        int protocolBefore;
        int protocolAfter;
    };
    const Case cases[] = {
        {"TapLineSelectsTap", 0, 1, 0},
        {"UcpLineSelectsUcp", 1, 0, 1},
        {"LineWithFiveFieldsChangesNothing", 2, 0, 0},
        {"LowerCaseNameChangesNothing", 3, 1, 1},
        {"UntrimmedFieldChangesNothing", 4, 1, 1},
    };
    start();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        config->GatewayListBox->setCurrentIndex(-1);
        config->GroupProv->setItemIndex(c.protocolBefore);
        config->GatewayListBox->setCurrentIndex(c.line);
        EXPECT_EQ(config->GroupProv->itemIndex(), c.protocolAfter);
    }
}

TEST_F(ConfigDialogTest, LoadingTheSettingsDoesNotTouchTheProtocolOrShowTheRestartMessage)
{
    // Gateway line 0 is a TAP centre, the file says UCP and "Use OL Contacts" off.
    start("[FrmConfig]\nGroupProv=1\nedtGateway=0\nUseOLContcts=0\n");
    EXPECT_EQ(config->GroupProv->itemIndex(), 1);
    EXPECT_FALSE(config->chkUseOLContcts->isChecked());
    EXPECT_TRUE(messages.empty());
}

TEST_F(ConfigDialogTest, UseContactsChangeAfterStartUpAsksForARestartEachTime)
{
    start();
    config->chkUseOLContcts->setChecked(false);
    config->chkUseOLContcts->setChecked(true);
    ASSERT_EQ(messages.size(), 2u);
    for (const ShownMessage &m : messages) {
        EXPECT_EQ(m.kind, MessageKind::Information);
        EXPECT_EQ(m.text, QStringLiteral("Zum Aktivierung den Boxvisor neu starten ..."));
    }
}

TEST_F(ConfigDialogTest, LeavingTheGatewayBoxWithoutSelectionRestoresTheSavedOne)
{
    start("[FrmConfig]\nedtGateway=1\nedtGatewayText=Mein Gateway\n");
    // The file changed since start-up: the restore reads it anew.
    writeIni("[FrmConfig]\nedtGateway=4\nedtGatewayText=Padded\n");
    config->GatewayListBox->setCurrentIndex(-1);
    config->GroupProv->setItemIndex(0);
    config->GatewayListBoxExit();
    EXPECT_EQ(config->GatewayListBox->currentIndex(), 4);
    EXPECT_EQ(config->GatewayListBox->currentText(), QStringLiteral("Padded"));

    // With a line selected, leaving changes nothing.
    config->GatewayListBox->setCurrentIndex(2);
    config->GatewayListBoxExit();
    EXPECT_EQ(config->GatewayListBox->currentIndex(), 2);
}

TEST_F(ConfigDialogTest, MovingTheFocusOutOfTheGatewayBoxRunsTheRestore)
{
    start("[FrmConfig]\nedtGateway=3\nedtGatewayText=Lower case\n");
    config->show();
    config->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(config));
    config->GatewayListBox->setFocus();
    config->GatewayListBox->setCurrentIndex(-1);
    config->edtSecurecode->setFocus();
    EXPECT_EQ(config->GatewayListBox->currentIndex(), 3);
    EXPECT_EQ(config->GatewayListBox->currentText(), QStringLiteral("Lower case"));
}

TEST_F(ConfigDialogTest, LeavingTheGatewayBoxBeforeStartUpDoesNothing)
{
    writeGatewayList();
    createWindows();
    config->GatewayListBoxExit();
    EXPECT_EQ(config->GatewayListBox->currentIndex(), -1);
}

TEST_F(ConfigDialogTest, TypedMessageTimeSetsTheTimerOrShowsTheConversionError)
{
    start("[FrmConfig]\nEdtTime=10\n");
    config->show();
    config->edtTime->setFocus();
    config->edtTime->selectAll();
    QTest::keyClicks(config->edtTime, QStringLiteral("25"));
    EXPECT_EQ(main->Timer1->interval(), 25000);

    QTest::keyClick(config->edtTime, Qt::Key_Backspace);
    QTest::keyClick(config->edtTime, Qt::Key_Backspace);
    ASSERT_EQ(errorCount(), 1) << "the field became empty";
    EXPECT_EQ(messages.back().text, QStringLiteral("'' is not a valid integer value"));
    EXPECT_EQ(main->Timer1->interval(), 2000) << "the interval of the last good value stays";

    QTest::keyClicks(config->edtTime, QStringLiteral("x7"));
    EXPECT_EQ(config->edtTime->text(), QStringLiteral("7")) << "only digits are taken";
    EXPECT_EQ(main->Timer1->interval(), 7000);
}

TEST_F(ConfigDialogTest, WatchOptionClickReconnectsOnlyWhenSomethingChangedAndMailIsWatched)
{
    outlookInstalled = true;
    start("[FrmConfig]\nUseOLContcts=1\n");
    EXPECT_FALSE(config->WatchMailChanged);
    EXPECT_FALSE(config->WatchOptionChanged);

    // Reminder alone: a change, but mail is not watched, so the flag waits.
    config->chkWatchReminder->click();
    EXPECT_EQ(conectOutlookCalls, 0);
    EXPECT_TRUE(config->WatchOptionChanged);

    config->chkWatchMail->click();
    EXPECT_EQ(conectOutlookCalls, 1);
    EXPECT_FALSE(config->WatchMailChanged);
    EXPECT_FALSE(config->WatchOptionChanged);

    // A change made by the program sets the flag but does not reconnect by itself.
    config->chkSmsFeedback->setChecked(true);
    EXPECT_EQ(conectOutlookCalls, 1);
    EXPECT_TRUE(config->WatchOptionChanged);
    config->chkMail2Timer->click();
    EXPECT_EQ(conectOutlookCalls, 2);
}

TEST_F(ConfigDialogTest, StartUpFlagsTheWatchOptionsThatDifferFromTheForm)
{
    outlookInstalled = true;
    start("[FrmConfig]\nchkWatchMail=1\n");
    EXPECT_EQ(conectOutlookCalls, 1) << "watching mail connects at start-up";
    EXPECT_TRUE(config->WatchMailChanged);
    EXPECT_FALSE(config->WatchOptionChanged);
}

TEST_F(ConfigDialogTest, BalloonPositionIsLimitedTo1500)
{
    createWindows();
    config->edtSpinX->setValue(4000);
    EXPECT_EQ(config->edtSpinX->value(), 1500);
    EXPECT_EQ(config->edtSpinY->singleStep(), 1);
}
