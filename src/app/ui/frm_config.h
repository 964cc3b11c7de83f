#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QStringList>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStandardItemModel;
class PeriodicTimer;
class TMssgHint;
struct ConfigSettings;

// A group of radio buttons addressed by item index, -1 when none is selected.
class TRadioGroup final : public QGroupBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TRadioGroup)

public:
    TRadioGroup(const QStringList &items, Qt::Orientation orientation, QWidget *parent = nullptr);
    int itemIndex() const;
    void setItemIndex(int index);
    QRadioButton *item(int index) const;

private:
    QButtonGroup *m_group;
};

// What the configuration dialog reaches outside itself: the main window's message timer and
// balloon, whether start-up is done, the Outlook connection and the settings file.
struct ConfigDialogLinks
{
    PeriodicTimer *Timer1 = nullptr;
    TMssgHint *MssgHint = nullptr;
    std::function<bool()> started;
    std::function<void()> conectOutlook;
    // Reads the settings file anew (restoring the gateway selection reads it, not a copy).
    std::function<ConfigSettings()> readSettingsFile;
};

// The configuration dialog. Its controls are the live settings that every other window reads;
// there is no OK or Cancel, a change counts at once and reaches the file when the program ends.
class TFrmConfig final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFrmConfig)

public:
    explicit TFrmConfig(ConfigDialogLinks links, QWidget *parent = nullptr);
    ~TFrmConfig() override;

    // The gateway list, one "SMSProvider.txt" line each; fields are ";"-separated, untrimmed.
    void loadGatewayList(const QStringList &lines);
    QStringList gatewayLine(int index) const;

    // Fills the controls key by key in the file's order, so change handlers see the same
    // sequence as at any start-up.
    void loadSettings(const ConfigSettings &s);
    // Copies the controls into the dialog's keys of s; other windows' keys are left alone.
    void storeSettings(ConfigSettings &s) const;

    // Handlers, public so that the main window and tests drive them exactly as the controls do.
    void FormCreate();
    void chkAllMsnChange();
    void LMDOfficeButton2Click();
    void edtTimeTextChangedAt();
    void chkWatchMailChange();
    void chkWatchReminderChange();
    void chkWatchMailClick();
    void chkUseOLContctsChange();
    void GatewayListBoxChange();
    void GatewayListBoxExit();
    void LMDOfficeButton1Click();
    void btnContactsFileClick();

    bool WatchMailChanged = false;
    bool WatchOptionChanged = false;

    // "** ISDN Setup  **"
    QLineEdit *edtMsn;
    QCheckBox *chkAllMsn;
    QCheckBox *chkActive;
    // "** Dream Box Setup **"
    QLineEdit *edtBoxIP;
    QLineEdit *edtTime;
    // "** Messagewindow Setup **"
    QCheckBox *chkMsgOnPC;
    QPushButton *LMDOfficeButton2;
    QSpinBox *edtSpinX;
    QSpinBox *edtSpinY;
    // "** Outlook Setup **"
    QCheckBox *chkWatchMail;
    QCheckBox *chkWatchReminder;
    QCheckBox *chkMailFilter;
    QCheckBox *chkXChangeSupport;
    QCheckBox *chkUseOLContcts;
    QLineEdit *edtContactsFile;
    QPushButton *btnContactsFile;
    // "** Mail2BoxTimer **"
    QCheckBox *chkMail2Timer;
    QCheckBox *chkMailFeedback;
    QCheckBox *chkSmsFeedback;
    QLineEdit *edtSecurecode;
    QLineEdit *edtFeedbackMail;
    QLineEdit *edtSmsPhonenumber;
    TRadioGroup *GroupProv;
    QComboBox *GatewayListBox;
    // bottom
    QPushButton *LMDOfficeButton1;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool started() const { return m_links.started && m_links.started(); }
    void buildControls();
    void connectHandlers();

    ConfigDialogLinks m_links;
    QStandardItemModel *m_gatewayModel;
    bool m_styled = false;
};
