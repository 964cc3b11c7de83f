#include "app/ui/frm_main.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScreen>
#include <QStatusBar>
#include <QStringDecoder>
#include <QStyle>
#include <QStyleOption>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ui/error_box.h"
#include "app/ui/frm_config.h"
#include "app/ui/frm_log.h"
#include "app/ui/desktop_x11.h"
#include "app/ui/mssg_hint.h"
#include "app/ui/periodic_timer.h"
#include "app/ui/style_icon.h"
#include "common/activity_log.h"
#include "common/error.h"
#include "common/logging.h"
#include "common/windows1252.h"
#include "outlook/outlook_interface.h"

namespace {

const QString GatewayListFile = QStringLiteral("SMSProvider.txt");
const QString Waiting = QStringLiteral("-- waiting ... --");
const QString NoValue = QStringLiteral("------");

// The contact-import bar: thirty red segments across its width. The look is applied when the bar
// is first shown (it stays hidden until an import runs), so a start without an import does not
// carry a style sheet for it.
class SegmentedProgressBar final : public QProgressBar
{
public:
    using QProgressBar::QProgressBar;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::Show && !m_styled) {
            m_styled = true;
            setStyleSheet(
                QStringLiteral("QProgressBar { border: 1px solid gray; background: white; }"
                               " QProgressBar::chunk { background-color: red; width: 10px; margin: 1px; }"));
        }
        return QProgressBar::event(event);
    }

private:
    bool m_styled = false;
};

const QColor NavBackground(0x6a, 0x6a, 0xb8);
const QColor NavTab(0x3c, 0x3c, 0x8c);
const QColor NavBorder(0x23, 0x23, 0x6a);
const QColor NavHover(0x84, 0x84, 0xd0);
const QColor NavDisabledText(0xa0, 0xa0, 0xc8);

// The navigation bar's look on top of the program's style: section tabs flat and dark with a thin
// border, an entry under the mouse as a light panel with the same border.
class NavBarStyle final : public QProxyStyle
{
public:
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element == CE_ToolBoxTabShape) {
            drawPanel(painter, option->rect, NavTab);
            return;
        }
        if (element == CE_ToolBoxTabLabel) {
            // The caption sits inside the border.
            if (const auto *tab = qstyleoption_cast<const QStyleOptionToolBox *>(option)) {
                QStyleOptionToolBox inner = *tab;
                inner.rect = tab->rect.adjusted(1, 1, -1, -1);
                QProxyStyle::drawControl(element, &inner, painter, widget);
                return;
            }
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element == PE_PanelButtonTool && (option->state & State_MouseOver)) {
            drawPanel(painter, option->rect, NavHover);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

private:
    static void drawPanel(QPainter *painter, const QRect &rect, const QColor &fill)
    {
        painter->save();
        painter->fillRect(rect, fill);
        painter->setPen(NavBorder);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

// Program icon for the window and the tray: a small TV set.
QIcon appIcon()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 90), 2));
    p.setBrush(QColor(60, 60, 200));
    p.drawRoundedRect(QRectF(3, 5, 26, 19), 3, 3);
    p.setBrush(QColor(170, 200, 255));
    p.drawRect(QRectF(7, 9, 18, 11));
    p.drawLine(QPointF(11, 28), QPointF(21, 28));
    p.drawLine(QPointF(16, 24), QPointF(16, 28));
    return QIcon(pm);
}

QLabel *valueLabel(const char *name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    QFont f = label->font();
    f.setPixelSize(16);
    f.setBold(true);
    label->setFont(f);
    return label;
}

// Text files of the program may be saved in UTF-8 or in the old Windows code page.
QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = decodeCp1252(bytes);
    return text;
}

QString lockText(const char *name, const std::optional<bool> &state)
{
    return QLatin1String(name) +
           (state ? (*state ? QStringLiteral(" On") : QStringLiteral(" Off")) : QStringLiteral(" -"));
}

// Waits until window is hidden, for windows that are not dialogs but are opened modally.
class HideWaiter final : public QObject
{
public:
    HideWaiter(QWidget *window, QEventLoop *loop) : m_loop(loop) { window->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            m_loop->quit();
        return false;
    }

private:
    QEventLoop *m_loop;
};

struct NavEntry
{
    TFrmMain::NavItem item;
    const char *objectName;
    const char *caption;
    QStyle::StandardPixmap icon;
};

const NavEntry MenuEntries[] = {
    {TFrmMain::NavItem::TelBook, "navTelBook", "++ telefonbook ++", QStyle::SP_FileDialogContentsView},
    {TFrmMain::NavItem::Browser, "navBrowser", "++ browser ++", QStyle::SP_DriveNetIcon},
    {TFrmMain::NavItem::Timer, "navTimer", "++ timer ++", QStyle::SP_FileDialogDetailedView},
    {TFrmMain::NavItem::Zap, "navZap", "++ zap ++", QStyle::SP_MediaPlay},
    {TFrmMain::NavItem::Ftp, "navFtp", "++ ftp ++", QStyle::SP_ArrowDown},
    {TFrmMain::NavItem::Mail, "navMail", "++ Mail ++", QStyle::SP_FileIcon},
    {TFrmMain::NavItem::Sms, "navSms", "++ SMS ++", QStyle::SP_MessageBoxInformation},
};
const NavEntry SystemEntries[] = {
    {TFrmMain::NavItem::Config, "navConfig", "++ Config ++", QStyle::SP_FileDialogListView},
    {TFrmMain::NavItem::Game, "navGame", "++ Game ++", QStyle::SP_DialogYesButton},
    {TFrmMain::NavItem::Log, "navLog", "++ Log ++", QStyle::SP_FileDialogInfoView},
    {TFrmMain::NavItem::About, "navAbout", "++ About ++", QStyle::SP_MessageBoxQuestion},
};

} // namespace

TFrmMain::TFrmMain(MainWindowDeps deps, QWidget *parent)
    : QMainWindow(parent), m_deps(std::move(deps)), m_outlook(nullptr)
{
    setObjectName(QStringLiteral("FrmMain"));
    buildControls();
    FormCreate();
}

TFrmMain::~TFrmMain()
{
    // The balloon is a top-level window of its own, not a child.
    delete MssgHint;
}

void TFrmMain::buildControls()
{
    setWindowTitle(QStringLiteral("++ Boxvisor beta 2.22 ++  Betaversion"));
    setWindowIcon(appIcon());
    // Single border with the system menu and the minimise box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(219, 219, 219));
    setPalette(pal);
    setAutoFillBackground(true);

    auto *central = new QWidget(this);
    auto *outer = new QHBoxLayout(central);
    outer->setContentsMargins(0, 0, 6, 0);
    outer->setSpacing(8);
    outer->addWidget(buildNavigationBar());

    auto *right = new QVBoxLayout;
    right->setContentsMargins(0, 6, 0, 4);
    right->setSpacing(6);

    auto pairGroup = [central](const char *name, const QString &title,
                               std::initializer_list<std::pair<QString, QLabel *>> pairs) {
        auto *box = new QGroupBox(title, central);
        box->setObjectName(QLatin1String(name));
        auto *grid = new QGridLayout(box);
        grid->setColumnStretch(1, 1);
        grid->setVerticalSpacing(6);
        int row = 0;
        for (const auto &[caption, value] : pairs) {
            value->setParent(box);
            grid->addWidget(new QLabel(caption, box), row, 0);
            grid->addWidget(value, row, 1);
            ++row;
        }
        return box;
    };

    lblrufnummer = valueLabel("lblrufnummer", Waiting, central);
    lblTime = valueLabel("lblTime", NoValue, central);
    lblMsn = valueLabel("lblMsn", NoValue, central);
    right->addWidget(pairGroup("grpCapiInfo", QStringLiteral("Capi Info ... "),
                               {{QStringLiteral("Call :"), lblrufnummer},
                                {QStringLiteral("Time :"), lblTime},
                                {QStringLiteral("MSN :"), lblMsn}}));

    lblUnreadMails = valueLabel("lblUnreadMails", NoValue, central);
    lblReminder = valueLabel("lblReminder", NoValue, central);
    lblUnreadMailTime = valueLabel("lblUnreadMailTime", NoValue, central);
    right->addWidget(pairGroup("grpOutlookInfo", QStringLiteral("Outlook Info ... "),
                               {{QStringLiteral("Unread Mails :"), lblUnreadMails},
                                {QStringLiteral("Last Reminder :"), lblReminder},
                                {QStringLiteral("Time :"), lblUnreadMailTime}}));

    auto *buttons = new QHBoxLayout;
    Button1 = new QPushButton(QStringLiteral("count Inbox"), central);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Timer Mail"), central);
    Button2->setObjectName(QStringLiteral("Button2"));
    LMDOfficeButton1 = new QPushButton(central);
    LMDOfficeButton1->setObjectName(QStringLiteral("LMDOfficeButton1"));
    LMDOfficeButton1->setIconSize(QSize(24, 24));
    LMDOfficeButton1->setIcon(
        standardIconAt(this, QStyle::SP_DialogCloseButton, LMDOfficeButton1->iconSize()));
    LMDOfficeButton1->setFixedSize(40, 34);
    LMDOfficeButton1->setToolTip(QStringLiteral("Exit Program"));
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch();
    buttons->addWidget(LMDOfficeButton1);
    right->addStretch();
    right->addLayout(buttons);

    pb1 = new SegmentedProgressBar(central);
    pb1->setObjectName(QStringLiteral("pb1"));
    pb1->setFormat(QStringLiteral("Read Outlook Contacts ..."));
    pb1->setTextVisible(true);
    pb1->setAlignment(Qt::AlignCenter);
    QFont bold = pb1->font();
    bold.setBold(true);
    pb1->setFont(bold);
    pb1->hide();
    right->addWidget(pb1);
    outer->addLayout(right, 1);
    setCentralWidget(central);

    m_clock = new QLabel(this);
    m_num = new QLabel(this);
    m_scroll = new QLabel(this);
    m_caps = new QLabel(this);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(m_clock, 1);
    for (QLabel *l : {m_num, m_scroll, m_caps})
        statusBar()->addPermanentWidget(l);
    m_clockTimer = new QTimer(this);
    connect(m_clockTimer, &QTimer::timeout, this, &TFrmMain::updateStatusBar);
    m_clockTimer->start(1000);
    updateStatusBar();

    Timer1 = new PeriodicTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &PeriodicTimer::timeout, this, [this] { runGuarded(this, [this] { Timer1Timer(); }); });
    TimerMsgOutlook = new PeriodicTimer(this);
    TimerMsgOutlook->setObjectName(QStringLiteral("TimerMsgOutlook"));
    TimerMsgOutlook->setInterval(20000);

    MssgHint = new TMssgHint(nullptr);
    Tray = new QSystemTrayIcon(appIcon(), this);
    Tray->setObjectName(QStringLiteral("Tray"));
    Tray->setToolTip(QStringLiteral("Boxvisor"));
    connect(Tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            runGuarded(this, [this] { TrayClick(); });
    });
    connect(LMDOfficeButton1, &QPushButton::clicked, this,
            [this] { runGuarded(this, [this] { LMDOfficeButton1Click(); }); });

    setFixedSize(515, 426);
    if (const QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
}

QWidget *TFrmMain::buildNavigationBar()
{
    ButtonBar = new QToolBox(this);
    ButtonBar->setObjectName(QStringLiteral("ButtonBar"));
    ButtonBar->setFixedWidth(132);
    // Colours through the palette and two drawing overrides rather than a style sheet, which
    // would keep matched rules in memory for every widget of the bar.
    QPalette pal = ButtonBar->palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
        pal.setColor(role, NavBackground);
    pal.setColor(QPalette::ButtonText, Qt::white);
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, NavDisabledText);
    ButtonBar->setPalette(pal);
    ButtonBar->setAutoFillBackground(true);
    // Parented to the window, created after the bar: deleted only once the bar is gone.
    auto *navStyle = new NavBarStyle;
    navStyle->setParent(this);
    m_navButtons.resize(std::size(MenuEntries) + std::size(SystemEntries));
    auto addSection = [this, navStyle](const QString &title, const auto &entries) {
        auto *page = new QWidget;
        page->setAutoFillBackground(true);
        auto *layout = new QVBoxLayout(page);
        layout->setContentsMargins(2, 2, 2, 2);
        layout->setSpacing(0);
        for (const NavEntry &e : entries) {
            auto *button = new QToolButton(page);
            button->setObjectName(QLatin1String(e.objectName));
            button->setText(QString::fromUtf8(e.caption));
            button->setIconSize(QSize(20, 20));
            button->setIcon(standardIconAt(this, e.icon, button->iconSize()));
            button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
            button->setAutoRaise(true);
            button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
            button->setStyle(navStyle);
            const NavItem item = e.item;
            connect(button, &QToolButton::clicked, this,
                    [this, item] { runGuarded(this, [&] { openNavItem(item); }); });
            m_navButtons[size_t(item)] = button;
            layout->addWidget(button);
        }
        layout->addStretch();
        ButtonBar->addItem(page, title);
        // The bar is as wide as its captions; only a short screen may need to scroll it.
        if (auto *area = qobject_cast<QScrollArea *>(
                page->parentWidget() ? page->parentWidget()->parentWidget() : nullptr)) {
            area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            area->setFrameShape(QFrame::NoFrame);
        }
    };
    addSection(QStringLiteral("Menü"), MenuEntries);
    addSection(QStringLiteral("System"), SystemEntries);
    // The section tabs are the bar's own buttons (not tool buttons): bold captions, flat dark shape.
    for (QAbstractButton *tab : ButtonBar->findChildren<QAbstractButton *>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QToolButton *>(tab))
            continue;
        QFont bold = tab->font();
        bold.setBold(true);
        tab->setFont(bold);
        tab->setStyle(navStyle);
    }
    return ButtonBar;
}

void TFrmMain::FormCreate()
{
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive)
            runGuarded(this, [this] { AppDeactivate(); });
    });
    if (m_deps.startCallMonitor)
        runGuarded(this, m_deps.startCallMonitor);
    StartDir = QDir::currentPath();
    Started = false;
}

void TFrmMain::attachWindows(MainWindowLinks links)
{
    m_links = std::move(links);
}

QAbstractButton *TFrmMain::navButton(NavItem item) const
{
    return m_navButtons.at(size_t(item));
}

void TFrmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The first appearance counts as an activation even where the window manager does not
    // give the new window the focus.
    if (!m_shownOnce) {
        m_shownOnce = true;
        m_activationPending = true;
    }
}

void TFrmMain::paintEvent(QPaintEvent *event)
{
    QMainWindow::paintEvent(event);
    // The start-up may block for a while (a contacts import); it waits until the window has
    // been drawn once, so the user sees the window and its progress bar meanwhile.
    if (!m_painted) {
        m_painted = true;
        if (m_activationPending)
            QTimer::singleShot(0, this, [this] { activationReached(); });
    }
}

void TFrmMain::activationReached()
{
    m_activationPending = false;
    if (Started || m_inFormActivate || !m_activationArmed)
        return;
    m_activationArmed = false;
    runGuarded(this, [this] { FormActivate(); });
}

void TFrmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || m_inFormActivate)
        return;
    if (isActiveWindow()) {
        if (m_painted)
            activationReached();
        else
            m_activationPending = true;
    } else if (!qobject_cast<QMessageBox *>(QApplication::activeWindow())) {
        // Leaving the window for anything but our own error box: the next return is an activation
        // that retries an unfinished start-up. The error box's own coming and going is not.
        m_activationArmed = true;
    }
}

void TFrmMain::loadGatewayList()
{
    QFile file(GatewayListFile);
    if (!file.exists()) {
        showMessageBox(this, QStringLiteral("Die Datei -> SMSProvider.txt <- wurde nicht gefunden ... "));
        m_terminating = true;
        if (m_deps.terminate)
            m_deps.terminate();
        return;
    }
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Die Datei %1 kann nicht gelesen werden: %2")
                            .arg(QDir::current().absoluteFilePath(GatewayListFile), file.errorString()));
    QStringList lines = decodeText(file.readAll()).split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    // A final line break ends the last line; it does not start an empty one.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    if (m_links.FrmConfig)
        m_links.FrmConfig->loadGatewayList(lines);
}

void TFrmMain::FormActivate()
{
    if (Started || m_inFormActivate)
        return;
    m_inFormActivate = true;
    const auto done = qScopeGuard([this] { m_inFormActivate = false; });
    TFrmConfig *config = m_links.FrmConfig;
    if (!config)
        throw BoxvisorError(QStringLiteral("Der Konfigurationsdialog fehlt."));

    if (m_links.hideMailButtons)
        m_links.hideMailButtons();
    Button1->hide();
    Button2->hide();

    loadGatewayList();

    m_settings = loadSettings(m_deps.iniPath);
    config->loadSettings(m_settings);
    for (const SettingsParticipant &p : m_links.settingsParticipants) {
        if (p.load)
            p.load(m_settings);
    }
    m_settingsLoaded = true;

    // The source is chosen once, from the settings of the first run.
    if (!m_outlook && m_deps.makeOutlook)
        m_outlook = m_deps.makeOutlook(m_settings);
    if (!m_outlook)
        m_outlook = std::make_unique<NoOutlook>();
    if (m_outlook->isInstalled()) {
        if (config->chkWatchMail->isChecked() || config->chkWatchReminder->isChecked())
            ConectOutlook();
        if (config->chkUseOLContcts->isChecked()) {
            if (m_links.importContacts)
                m_links.importContacts();
        } else {
            config->chkMailFilter->setChecked(false);
            config->chkMailFilter->setEnabled(false);
            navButton(NavItem::TelBook)->setEnabled(false);
        }
    } else {
        for (QCheckBox *c : {config->chkWatchMail, config->chkWatchReminder}) {
            c->setChecked(false);
            c->setEnabled(false);
        }
    }

    NewMailCount = 0;
    CallerNumber.clear();
    CallerName.clear();
    log().add(QStringLiteral("Application start ...  "));

    Timer1->setInterval(PeriodicTimer::secondsToInterval(strToInt(config->edtTime->text())));
    MailReadFailed = false;
    Started = true;
    qCInfo(lcApp) << "start-up done";
}

ConfigSettings TFrmMain::collectSettings() const
{
    ConfigSettings s = m_settings;
    if (m_links.FrmConfig)
        m_links.FrmConfig->storeSettings(s);
    for (const SettingsParticipant &p : m_links.settingsParticipants) {
        if (p.store)
            p.store(s);
    }
    return s;
}

void TFrmMain::SaveIni()
{
    // Controls that never received the file's values hold only the form's blanks; writing them
    // would replace the user's settings with nothing.
    if (!m_settingsLoaded)
        return;
    saveSettings(m_deps.iniPath, collectSettings());
}

void TFrmMain::LMDOfficeButton1Click()
{
    SaveIni();
    showMinimized();
    m_terminating = true;
    if (m_deps.terminate)
        m_deps.terminate();
}

void TFrmMain::closeEvent(QCloseEvent *event)
{
    if (m_terminating) {
        event->accept();
        return;
    }
    showMinimized();
    if (!runGuarded(this, [this] { SaveIni(); })) {
        // The program stays open; bring the window back so the user sees it did.
        showNormal();
        event->ignore();
        return;
    }
    event->accept();
    m_terminating = true;
    // The other windows may still be open (the log is not modal); the main window ends them all.
    if (m_deps.terminate)
        m_deps.terminate();
}

void TFrmMain::AppDeactivate()
{
    Tray->show();
    m_trayActive = true;
    // Without a notification area the taskbar button is the only way back to the window.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        setSkipTaskbar(this, true);
}

void TFrmMain::TrayClick()
{
    Tray->hide();
    m_trayActive = false;
    setSkipTaskbar(this, false);
    showNormal();
    activateWindow();
}

void TFrmMain::Timer1Timer()
{
    MssgHint->hideHint();
    Timer1->setEnabled(false);
    bool ok = false;
    const qint64 secs = m_links.FrmConfig ? m_links.FrmConfig->edtTime->text().toLongLong(&ok) : 0;
    Timer1->setInterval(ok ? PeriodicTimer::secondsToInterval(secs) : 0);
    lblrufnummer->setText(Waiting);
    for (QLabel *l : {lblTime, lblMsn, lblUnreadMails, lblUnreadMailTime})
        l->setText(NoValue);
}

void TFrmMain::setIncomingCallHandler(std::function<void(const QString &, const QString &, int)> handler)
{
    m_incomingCallHandler = std::move(handler);
}

void TFrmMain::setConectOutlookHandler(std::function<void()> handler)
{
    m_conectOutlookHandler = std::move(handler);
}

void TFrmMain::CapiMonitor1IncomingCall(const QString &calling, const QString &called, int cip)
{
    if (m_incomingCallHandler) {
        m_incomingCallHandler(calling, called, cip);
        return;
    }
    // FIXME: without the call handler a call is only shown and logged, never announced.
    CallerNumber = calling;
    CallerName.clear();
    lblrufnummer->setText(calling);
    lblTime->setText(QLocale::system().toString(QTime::currentTime(), QLocale::LongFormat));
    lblMsn->setText(called);
    CalledNumber = called;
    log().add(QStringLiteral("Incoming Call ... Number : ") + calling + QStringLiteral("  MSN : ") + called +
              QStringLiteral("  "));
}

void TFrmMain::ConectOutlook()
{
    if (m_conectOutlookHandler)
        m_conectOutlookHandler();
}

void TFrmMain::showWindow(QWidget *window, bool modal)
{
    if (!window)
        return;
    if (!modal) {
        window->show();
        window->raise();
        window->activateWindow();
        return;
    }
    if (auto *dialog = qobject_cast<QDialog *>(window)) {
        dialog->exec();
        return;
    }
    window->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    HideWaiter waiter(window, &loop);
    window->show();
    if (window->isVisible())
        loop.exec();
}

void TFrmMain::openNavItem(NavItem item)
{
    switch (item) {
    case NavItem::TelBook:
        return showWindow(m_links.FrmTelBook, true);
    case NavItem::Browser:
        return showWindow(m_links.FrmBrowser, true);
    case NavItem::Timer:
        if (!m_links.FrmTimer && m_links.makeFrmTimer)
            m_links.FrmTimer = m_links.makeFrmTimer();
        return showWindow(m_links.FrmTimer, true);
    case NavItem::Zap:
        return showWindow(m_links.FrmZap, true);
    case NavItem::Ftp:
        return showWindow(m_links.FrmFtp, true);
    case NavItem::Mail:
        return showWindow(m_links.FrmMail, true);
    case NavItem::Sms:
        return showWindow(m_links.FrmSms, true);
    case NavItem::Config:
        return showWindow(m_links.FrmConfig, true);
    case NavItem::Game:
        return showWindow(m_links.SwatForm, true);
    case NavItem::Log:
        return showWindow(m_links.FrmLog, false);
    case NavItem::About:
        return showWindow(m_links.FrmAbout, true);
    }
}

QString TFrmMain::clockText() const
{
    return m_clock->text();
}

void TFrmMain::updateStatusBar()
{
    m_clock->setText(QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yy hh:mm:ss")));
    const KeyboardLocks locks = readKeyboardLocks();
    m_num->setText(lockText("Num:", locks.num));
    m_scroll->setText(lockText("Scroll:", locks.scroll));
    m_caps->setText(lockText("Caps:", locks.caps));
}
