#include "app/ui/frm_config.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QValidator>

#include <utility>

#include "app/settings_file.h"
#include "app/ui/error_box.h"
#include "app/ui/mssg_hint.h"
#include "app/ui/periodic_timer.h"
#include "common/error.h"

namespace {

constexpr int GatewayColumns = 6;
constexpr int GatewayColumnWidths[GatewayColumns] = {150, 50, 120, 50, 80, 50};
constexpr int GatewayDropDownWidth = 500;
constexpr int ProtocolField = 5;

// Accepts the digits 0-9 and nothing else (an empty field too). Checked by hand: a regular
// expression would bring the expression engine and its compiler into every start for this.
class DigitsValidator final : public QValidator
{
    Q_DISABLE_COPY_MOVE(DigitsValidator)

public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        for (const QChar c : std::as_const(input)) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return Invalid;
        }
        return Acceptable;
    }
};

QLineEdit *digitsOnly(QLineEdit *edit)
{
    edit->setValidator(new DigitsValidator(edit));
    return edit;
}

template <typename W> W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QSpinBox *balloonSpin(QWidget *parent, const char *name)
{
    auto *spin = named(new QSpinBox(parent), name);
    spin->setRange(0, 1500);
    spin->setSingleStep(1); // page up/down moves by ten steps
    return spin;
}

} // namespace

TRadioGroup::TRadioGroup(const QStringList &items, Qt::Orientation orientation, QWidget *parent)
    : QGroupBox(parent), m_group(new QButtonGroup(this))
{
    QBoxLayout *layout = orientation == Qt::Horizontal ? static_cast<QBoxLayout *>(new QHBoxLayout(this))
                                                       : static_cast<QBoxLayout *>(new QVBoxLayout(this));
    layout->setContentsMargins(6, 2, 6, 2);
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items.at(i), this);
        m_group->addButton(button, i);
        layout->addWidget(button);
    }
    layout->addStretch();
}

int TRadioGroup::itemIndex() const
{
    return m_group->checkedId();
}

void TRadioGroup::setItemIndex(int index)
{
    if (QAbstractButton *button = m_group->button(index)) {
        button->setChecked(true);
        return;
    }
    // An index outside the items selects none, as an unknown stored value should.
    m_group->setExclusive(false);
    for (QAbstractButton *button : m_group->buttons())
        button->setChecked(false);
    m_group->setExclusive(true);
}

QRadioButton *TRadioGroup::item(int index) const
{
    return qobject_cast<QRadioButton *>(m_group->button(index));
}

TFrmConfig::TFrmConfig(ConfigDialogLinks links, QWidget *parent)
    : QDialog(parent), m_links(std::move(links)),
      m_gatewayModel(new QStandardItemModel(0, GatewayColumns, this))
{
    setObjectName(QStringLiteral("FrmConfig"));
    setWindowTitle(QStringLiteral("++ Config ++"));
    buildControls();
    connectHandlers();
    FormCreate();
}

TFrmConfig::~TFrmConfig() = default;

void TFrmConfig::buildControls()
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(145, 145, 255));
    setPalette(pal);

    auto group = [this](const char *name, const QString &title) {
        auto *box = named(new QGroupBox(title, this), name);
        auto *grid = new QGridLayout(box);
        grid->setContentsMargins(8, 4, 8, 4);
        grid->setHorizontalSpacing(6);
        grid->setVerticalSpacing(3);
        return std::pair{box, grid};
    };
    auto label = [](const QString &text, QWidget *parent) { return new QLabel(text, parent); };

    auto [isdn, gIsdn] = group("grpIsdn", QStringLiteral("** ISDN Setup  **"));
    edtMsn = digitsOnly(named(new QLineEdit(isdn), "edtMsn"));
    chkAllMsn = named(new QCheckBox(QStringLiteral("All MSN"), isdn), "chkAllMsn");
    chkActive = named(new QCheckBox(QStringLiteral("Active"), isdn), "chkActive");
    gIsdn->addWidget(label(QStringLiteral("MSN :"), isdn), 0, 0);
    gIsdn->addWidget(edtMsn, 0, 1);
    gIsdn->addWidget(chkAllMsn, 0, 2);
    gIsdn->addWidget(chkActive, 0, 3);

    auto [box, gBox] = group("grpBox", QStringLiteral("** Dream Box Setup **"));
    edtBoxIP = named(new QLineEdit(box), "edtBoxIP");
    edtTime = digitsOnly(named(new QLineEdit(box), "edtTime"));
    edtTime->setMaximumWidth(50);
    gBox->addWidget(label(QStringLiteral("Box IP :"), box), 0, 0);
    gBox->addWidget(edtBoxIP, 0, 1);
    gBox->addWidget(label(QStringLiteral("Message Time :"), box), 0, 2);
    gBox->addWidget(edtTime, 0, 3);
    gBox->addWidget(label(QStringLiteral("sec"), box), 0, 4);

    auto [msg, gMsg] = group("grpMsgWindow", QStringLiteral("** Messagewindow Setup **"));
    chkMsgOnPC = named(new QCheckBox(QStringLiteral("Message on PC"), msg), "chkMsgOnPC");
    LMDOfficeButton2 = named(new QPushButton(QStringLiteral("Test"), msg), "LMDOfficeButton2");
    edtSpinX = balloonSpin(msg, "edtSpinX");
    edtSpinY = balloonSpin(msg, "edtSpinY");
    gMsg->addWidget(chkMsgOnPC, 0, 0);
    gMsg->addWidget(LMDOfficeButton2, 0, 1);
    gMsg->addWidget(label(QStringLiteral("X :"), msg), 0, 2, Qt::AlignRight);
    gMsg->addWidget(edtSpinX, 0, 3);
    gMsg->addWidget(label(QStringLiteral("Y :"), msg), 0, 4, Qt::AlignRight);
    gMsg->addWidget(edtSpinY, 0, 5);

    auto [ol, gOl] = group("grpOutlook", QStringLiteral("** Outlook Setup **"));
    chkWatchMail =
        named(new QCheckBox(QStringLiteral("Watch Outlook e-mail (Message on TV ...)"), ol), "chkWatchMail");
    chkWatchReminder = named(new QCheckBox(QStringLiteral("Watch Outlook Reminder (Message on TV ...)"), ol),
                             "chkWatchReminder");
    chkMailFilter = named(
        new QCheckBox(
            QStringLiteral("e - mail Filter                                  (Only own Contacts to TV ...)"),
            ol),
        "chkMailFilter");
    chkXChangeSupport =
        named(new QCheckBox(QStringLiteral("MS Exchangeserver Support"), ol), "chkXChangeSupport");
    chkUseOLContcts = named(new QCheckBox(QStringLiteral("Use OL Contacts"), ol), "chkUseOLContcts");
    edtContactsFile = named(new QLineEdit(ol), "edtContactsFile");
    edtContactsFile->setPlaceholderText(QStringLiteral("*.vcf"));
    btnContactsFile = named(new QPushButton(QStringLiteral("..."), ol), "btnContactsFile");
    btnContactsFile->setFixedWidth(30);
    gOl->addWidget(chkWatchMail, 0, 0, 1, 3);
    gOl->addWidget(chkWatchReminder, 1, 0, 1, 3);
    gOl->addWidget(chkMailFilter, 2, 0, 1, 3);
    gOl->addWidget(chkXChangeSupport, 3, 0, 1, 3);
    gOl->addWidget(chkUseOLContcts, 4, 0, 1, 3);
    gOl->addWidget(label(QStringLiteral("Contacts :"), ol), 5, 0);
    gOl->addWidget(edtContactsFile, 5, 1);
    gOl->addWidget(btnContactsFile, 5, 2);

    auto [mt, gMt] = group("grpMail2Timer", QStringLiteral("** Mail2BoxTimer **"));
    chkMail2Timer = named(new QCheckBox(QStringLiteral("Mail2BoxTimer"), mt), "chkMail2Timer");
    chkMailFeedback = named(new QCheckBox(QStringLiteral("Mail Feedback"), mt), "chkMailFeedback");
    chkMailFeedback->setEnabled(false);
    chkSmsFeedback =
        named(new QCheckBox(QStringLiteral("SMSFeedback after Mail2BTimer"), mt), "chkSmsFeedback");
    edtSecurecode = named(new QLineEdit(mt), "edtSecurecode");
    edtFeedbackMail = named(new QLineEdit(QStringLiteral("--@"), mt), "edtFeedbackMail");
    edtFeedbackMail->setEnabled(false);
    edtSmsPhonenumber = named(new QLineEdit(mt), "edtSmsPhonenumber");
    GroupProv =
        named(new TRadioGroup({QStringLiteral("TAP ( D1 )"), QStringLiteral("UCP ( D2 )")}, Qt::Vertical, mt),
              "GroupProv");
    GatewayListBox = named(new QComboBox(mt), "GatewayListBox");
    GatewayListBox->setEditable(true);
    GatewayListBox->setInsertPolicy(QComboBox::NoInsert);
    GatewayListBox->setModel(m_gatewayModel);
    m_gatewayModel->setHorizontalHeaderLabels({QStringLiteral("Provider"), QStringLiteral("Country"),
                                               QStringLiteral("Gateway"), QStringLiteral("Length"),
                                               QStringLiteral("Pwd"), QStringLiteral("Library")});
    auto *view = new QTableView(GatewayListBox);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->setShowGrid(false);
    view->setWordWrap(false);
    GatewayListBox->setView(view);
    for (int c = 0; c < GatewayColumns; ++c)
        view->setColumnWidth(c, GatewayColumnWidths[c]);
    view->horizontalHeader()->setStretchLastSection(true);
    view->setMinimumWidth(GatewayDropDownWidth);

    gMt->addWidget(chkMail2Timer, 0, 0, 1, 2);
    gMt->addWidget(chkMailFeedback, 0, 2);
    gMt->addWidget(chkSmsFeedback, 1, 0, 1, 3);
    gMt->addWidget(label(QStringLiteral("Securecode :"), mt), 2, 0);
    gMt->addWidget(edtSecurecode, 2, 1);
    gMt->addWidget(label(QStringLiteral("Feedback e-mail :"), mt), 3, 0);
    gMt->addWidget(edtFeedbackMail, 3, 1);
    gMt->addWidget(label(QStringLiteral("Phonenumber :"), mt), 4, 0);
    gMt->addWidget(edtSmsPhonenumber, 4, 1);
    gMt->addWidget(GroupProv, 2, 2, 3, 1);
    gMt->addWidget(label(QStringLiteral("GSM Gateway :"), mt), 5, 0);
    gMt->addWidget(GatewayListBox, 5, 1, 1, 2);
    gMt->setColumnStretch(1, 1);

    LMDOfficeButton1 = named(new QPushButton(QStringLiteral("&Close"), this), "LMDOfficeButton1");

    auto *main = new QVBoxLayout(this);
    main->setContentsMargins(8, 6, 8, 8);
    main->setSpacing(4);
    for (QGroupBox *g : {isdn, box, msg, ol, mt})
        main->addWidget(g);
    main->addStretch();
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(LMDOfficeButton1);
    main->addLayout(bottom);

    setFixedSize(453, 555);
}

void TFrmConfig::connectHandlers()
{
    // Every control reaches its handler through the error box, so no exception leaves a slot.
    auto guarded = [this](void (TFrmConfig::*handler)()) {
        return [this, handler] { runGuarded(this, [&] { (this->*handler)(); }); };
    };
    for (QCheckBox *c : {chkAllMsn, chkActive, chkMsgOnPC})
        connect(c, &QCheckBox::toggled, this, guarded(&TFrmConfig::chkAllMsnChange));
    connect(LMDOfficeButton2, &QPushButton::clicked, this, guarded(&TFrmConfig::LMDOfficeButton2Click));
    // Only what the user types: a value loaded by the program is converted by the start-up itself.
    connect(edtTime, &QLineEdit::textEdited, this, guarded(&TFrmConfig::edtTimeTextChangedAt));
    connect(chkWatchMail, &QCheckBox::toggled, this, guarded(&TFrmConfig::chkWatchMailChange));
    for (QCheckBox *c : {chkWatchReminder, chkMailFeedback, chkMail2Timer, chkSmsFeedback})
        connect(c, &QCheckBox::toggled, this, guarded(&TFrmConfig::chkWatchReminderChange));
    // clicked follows toggled for a user's click, so the flags are already set here.
    for (QCheckBox *c : {chkWatchMail, chkWatchReminder, chkMailFeedback, chkMail2Timer, chkSmsFeedback})
        connect(c, &QCheckBox::clicked, this, guarded(&TFrmConfig::chkWatchMailClick));
    connect(chkUseOLContcts, &QCheckBox::toggled, this, guarded(&TFrmConfig::chkUseOLContctsChange));
    connect(GatewayListBox, &QComboBox::currentIndexChanged, this,
            guarded(&TFrmConfig::GatewayListBoxChange));
    GatewayListBox->installEventFilter(this);
    if (GatewayListBox->lineEdit())
        GatewayListBox->lineEdit()->installEventFilter(this);
    connect(LMDOfficeButton1, &QPushButton::clicked, this, guarded(&TFrmConfig::LMDOfficeButton1Click));
    connect(btnContactsFile, &QPushButton::clicked, this, guarded(&TFrmConfig::btnContactsFileClick));
}

// The group-title style is applied when the dialog is first shown (before it reaches the screen),
// not at construction: most sessions never open the dialog, and a style sheet costs every child
// widget its matched rules in memory.
bool TFrmConfig::event(QEvent *event)
{
    if (event->type() == QEvent::Show && !m_styled) {
        m_styled = true;
        setStyleSheet(QStringLiteral(
            "QGroupBox#grpIsdn, QGroupBox#grpBox, QGroupBox#grpMsgWindow, QGroupBox#grpOutlook,"
            " QGroupBox#grpMail2Timer { font-weight: bold; }"
            " QGroupBox::title { color: white; }"));
        // Bold titles are wider: lay the groups out again before the first paint.
        if (QLayout *l = layout())
            l->activate();
    }
    return QDialog::event(event);
}

bool TFrmConfig::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut &&
        (watched == GatewayListBox || watched == GatewayListBox->lineEdit())) {
        const auto *focus = static_cast<QFocusEvent *>(event);
        // Opening the drop-down moves the focus into it; that is not leaving the box.
        const bool intoOwnParts =
            focus->reason() == Qt::PopupFocusReason ||
            (QApplication::focusWidget() && (QApplication::focusWidget() == GatewayListBox ||
                                             GatewayListBox->isAncestorOf(QApplication::focusWidget())));
        if (!intoOwnParts)
            runGuarded(this, [this] { GatewayListBoxExit(); });
    }
    return QDialog::eventFilter(watched, event);
}

void TFrmConfig::loadGatewayList(const QStringList &lines)
{
    const QSignalBlocker block(GatewayListBox);
    m_gatewayModel->removeRows(0, m_gatewayModel->rowCount());
    for (const QString &line : lines) {
        QList<QStandardItem *> row;
        const QStringList fields = line.split(QLatin1Char(';'));
        for (int c = 0; c < GatewayColumns; ++c) {
            auto *item = new QStandardItem(c < fields.size() ? fields.at(c) : QString());
            item->setEditable(false);
            row.append(item);
        }
        // The whole line stays with the row: the protocol must come from a real sixth field.
        row.first()->setData(line, Qt::UserRole);
        m_gatewayModel->appendRow(row);
    }
    GatewayListBox->setCurrentIndex(-1);
}

QStringList TFrmConfig::gatewayLine(int index) const
{
    if (index < 0 || index >= m_gatewayModel->rowCount())
        return {};
    return m_gatewayModel->item(index, 0)->data(Qt::UserRole).toString().split(QLatin1Char(';'));
}

void TFrmConfig::loadSettings(const ConfigSettings &s)
{
    edtMsn->setText(s.EdtMsn);
    chkAllMsn->setChecked(s.ChkAllMsn);
    chkActive->setChecked(s.ChkAktive);
    edtBoxIP->setText(s.EdtBoxIP);
    edtTime->setText(s.EdtTime);
    edtSpinX->setValue(s.edtSpinX);
    edtSpinY->setValue(s.edtSpinY);
    chkWatchMail->setChecked(s.chkWatchMail);
    chkWatchReminder->setChecked(s.chkWatchReminder);
    chkMsgOnPC->setChecked(s.ChkMsgOnPC);
    chkMailFilter->setChecked(s.ChkeMaiFilter);
    chkXChangeSupport->setChecked(s.XChangeSupport);
    chkUseOLContcts->setChecked(s.UseOLContcts);
    chkMail2Timer->setChecked(s.chkMail2Timer);
    chkMailFeedback->setChecked(s.chkMailFeedback);
    chkSmsFeedback->setChecked(s.chkSmsFeedback);
    edtSecurecode->setText(s.edtSecurecode);
    edtFeedbackMail->setText(s.edtFeedbackMail);
    edtSmsPhonenumber->setText(s.edtSmsPhonenumber);
    GroupProv->setItemIndex(s.GroupProv);
    GatewayListBox->setCurrentIndex(s.edtGateway);
    GatewayListBox->setEditText(s.edtGatewayText);
    edtContactsFile->setText(s.ContactsFile);
}

void TFrmConfig::storeSettings(ConfigSettings &s) const
{
    s.EdtMsn = edtMsn->text();
    s.ChkAllMsn = chkAllMsn->isChecked();
    s.ChkAktive = chkActive->isChecked();
    s.EdtBoxIP = edtBoxIP->text();
    s.EdtTime = edtTime->text();
    s.edtSpinX = edtSpinX->value();
    s.edtSpinY = edtSpinY->value();
    s.chkWatchMail = chkWatchMail->isChecked();
    s.chkWatchReminder = chkWatchReminder->isChecked();
    s.ChkMsgOnPC = chkMsgOnPC->isChecked();
    s.ChkeMaiFilter = chkMailFilter->isChecked();
    s.XChangeSupport = chkXChangeSupport->isChecked();
    s.UseOLContcts = chkUseOLContcts->isChecked();
    s.chkMail2Timer = chkMail2Timer->isChecked();
    s.chkMailFeedback = chkMailFeedback->isChecked();
    s.chkSmsFeedback = chkSmsFeedback->isChecked();
    s.edtSecurecode = edtSecurecode->text();
    s.edtFeedbackMail = edtFeedbackMail->text();
    s.edtSmsPhonenumber = edtSmsPhonenumber->text();
    s.GroupProv = GroupProv->itemIndex();
    s.edtGateway = GatewayListBox->currentIndex();
    s.edtGatewayText = GatewayListBox->currentText();
    s.ContactsFile = edtContactsFile->text();
}

void TFrmConfig::FormCreate()
{
    WatchMailChanged = false;
    WatchOptionChanged = false;
}

void TFrmConfig::chkAllMsnChange()
{
    edtMsn->setEnabled(!chkAllMsn->isChecked());
}

void TFrmConfig::LMDOfficeButton2Click()
{
    // Shows only the balloon; nothing goes to the box.
    if (m_links.Timer1)
        m_links.Timer1->setInterval(2000);
    if (m_links.MssgHint)
        m_links.MssgHint->showAt(QPoint(edtSpinX->value(), edtSpinY->value()),
                                 QStringLiteral("Ein Anruf kommt ...\r\nNr : 123"));
    if (m_links.Timer1)
        m_links.Timer1->setEnabled(true);
}

void TFrmConfig::edtTimeTextChangedAt()
{
    // Converted before anything changes, so a bad value leaves the interval as it was.
    const int interval = PeriodicTimer::secondsToInterval(strToInt(edtTime->text()));
    if (m_links.Timer1)
        m_links.Timer1->setInterval(interval);
}

void TFrmConfig::chkWatchMailChange()
{
    WatchMailChanged = true;
}

void TFrmConfig::chkWatchReminderChange()
{
    WatchOptionChanged = true;
}

void TFrmConfig::chkWatchMailClick()
{
    if ((WatchMailChanged || WatchOptionChanged) && chkWatchMail->isChecked()) {
        if (m_links.conectOutlook)
            m_links.conectOutlook();
        WatchMailChanged = false;
        WatchOptionChanged = false;
    }
}

void TFrmConfig::chkUseOLContctsChange()
{
    if (started())
        showMessageBox(this, QStringLiteral("Zum Aktivierung den Boxvisor neu starten ..."));
}

void TFrmConfig::GatewayListBoxChange()
{
    if (!started())
        return;
    const QStringList fields = gatewayLine(GatewayListBox->currentIndex());
    if (fields.size() <= ProtocolField)
        return;
    const QString &protocol = fields.at(ProtocolField);
    if (protocol == QLatin1String("TAP"))
        GroupProv->setItemIndex(0);
    else if (protocol == QLatin1String("UCP"))
        GroupProv->setItemIndex(1);
}

void TFrmConfig::GatewayListBoxExit()
{
    if (!started() || GatewayListBox->currentIndex() >= 0)
        return;
    const ConfigSettings saved = m_links.readSettingsFile ? m_links.readSettingsFile() : ConfigSettings{};
    GatewayListBox->setCurrentIndex(saved.edtGateway);
    GatewayListBox->setEditText(saved.edtGatewayText);
}

void TFrmConfig::LMDOfficeButton1Click()
{
    close();
}

void TFrmConfig::btnContactsFileClick()
{
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Contacts"), edtContactsFile->text(), QStringLiteral("vCard (*.vcf);;* (*)"));
    if (!file.isEmpty())
        edtContactsFile->setText(file);
}
