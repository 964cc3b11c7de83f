#include "timers/ui/frm_timer.h"

#include <QApplication>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/ui/error_box.h"
#include "app/ui/style_icon.h"
#include "common/activity_log.h"
#include "common/error.h"
#include "timers/guide_import.h"
#include "timers/ui/channel_chooser.h"

namespace {

const QColor GridColor(255, 255, 151);
const QColor FieldColor(145, 145, 255);
constexpr int ColumnWidths[TimerEntry::ColumnCount] = {64, 506, 393, 76, 55, 82, 70};

bool askYesNo(QWidget *parent, const QString &question)
{
    return QMessageBox::question(parent, QStringLiteral("Boxvisor"), question,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

// The channels of the bouquets copy that its services copy does not know; they were left out of
// the channel settings. A long list is cut, so that the box still fits on the screen.
QString leftOutChannelsMessage(const QStringList &keys)
{
    constexpr qsizetype Shown = 20;
    QString text = QStringLiteral("Diese Kanäle aus -> bouquets <- stehen nicht in -> services <- "
                                  "und wurden ausgelassen:");
    for (qsizetype i = 0; i < std::min(Shown, keys.size()); ++i) {
        text += u'\n';
        text += keys.at(i);
    }
    if (keys.size() > Shown)
        text += QStringLiteral("\n... und %1 weitere").arg(keys.size() - Shown);
    return text;
}

bool choosePrinterWithDialog(QWidget *parent, QPrinter &printer)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("Print Grid"));
    return dialog.exec() == QDialog::Accepted;
}

void setFieldColors(QWidget *field)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, FieldColor);
    palette.setColor(QPalette::Button, FieldColor);
    field->setPalette(palette);
    field->setAutoFillBackground(true);
}

// Shows the progress bar while a transfer runs and hides it afterwards, also on failure.
class ProgressShown
{
public:
    explicit ProgressShown(QProgressBar *bar) : m_bar(bar) {}
    ~ProgressShown()
    {
        m_bar->setValue(0);
        m_bar->hide();
    }
    ProgressShown(const ProgressShown &) = delete;
    ProgressShown &operator=(const ProgressShown &) = delete;

private:
    QProgressBar *m_bar;
};

} // namespace

TFrmTimer::TFrmTimer(BoxClient &box, ActivityLog &log, const QString &startDir, QWidget *parent)
    : QDialog(parent), m_box(box), m_log(log), m_folders(startDir), m_confirm(askYesNo),
      m_choosePrinter(choosePrinterWithDialog)
{
    buildWindow();
    // Missing data folders are made at start, so that downloads have somewhere to go.
    runGuarded(this, [this] { m_folders.ensureExist(); });
}

TFrmTimer::~TFrmTimer() = default;

void TFrmTimer::buildWindow()
{
    setObjectName(QStringLiteral("FrmTimer"));
    setWindowTitle(QStringLiteral("++ BoxTimer ++"));
    resize(991, 669);

    auto *outer = new QVBoxLayout(this);

    // Button row with the clock in front.
    auto *buttonRow = new QHBoxLayout;
    Clock = new QLabel(this);
    Clock->setObjectName(QStringLiteral("Clock"));
    Clock->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QFont clockFont = Clock->font();
    clockFont.setPointSizeF(clockFont.pointSizeF() * 1.5);
    clockFont.setBold(true);
    Clock->setFont(clockFont);
    Clock->setAlignment(Qt::AlignCenter);
    Clock->setMinimumWidth(Clock->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 16);
    Clock->setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
    buttonRow->addWidget(Clock);

    auto makeButton = [this, buttonRow](const char *name, const QString &caption, const QString &hint,
                                        QStyle::StandardPixmap icon, void (TFrmTimer::*handler)()) {
        auto *button = new QToolButton(this);
        button->setObjectName(QLatin1String(name));
        button->setText(caption);
        button->setToolTip(hint);
        button->setIcon(standardIconAt(this, icon, button->iconSize()));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, this, handler);
        buttonRow->addWidget(button);
        return button;
    };
    LMDOfficeButton2 =
        makeButton("LMDOfficeButton2", QStringLiteral("Read Timer"), QStringLiteral("Timer von Box lesen"),
                   QStyle::SP_ArrowDown, &TFrmTimer::LMDOfficeButton2Click);
    LMDOfficeButton4 = makeButton("LMDOfficeButton4", QStringLiteral("Save + transfer"),
                                  QStringLiteral("Speicher und zur Box tranferieren"), QStyle::SP_ArrowUp,
                                  &TFrmTimer::LMDOfficeButton4Click);
    LMDOfficeButton4->setEnabled(false);
    LMDOfficeButton3 =
        makeButton("LMDOfficeButton3", QStringLiteral("Del Line"), QStringLiteral("Zeile Löschen"),
                   QStyle::SP_TrashIcon, &TFrmTimer::LMDOfficeButton3Click);
    LMDOfficeButton5 = makeButton("LMDOfficeButton5", QStringLiteral("Print"), QStringLiteral("Print Grid"),
                                  QStyle::SP_FileDialogContentsView, &TFrmTimer::LMDOfficeButton5Click);
    LMDOfficeButton6 =
        makeButton("LMDOfficeButton6", QStringLiteral("Create Service"),
                   QStringLiteral("Settings aus der Box lesen und dem Boxvisor zur verfügung stellen"),
                   QStyle::SP_BrowserReload, &TFrmTimer::LMDOfficeButton6Click);
    LMDOfficeButton1 = makeButton("LMDOfficeButton1", QStringLiteral("New Item"),
                                  QStringLiteral("Neue Timer ( Zeile ) erstellen"), QStyle::SP_FileIcon,
                                  &TFrmTimer::LMDOfficeButton1Click);
    LMDOfficeButton9 =
        makeButton("LMDOfficeButton9", QStringLiteral("Planner"), QStringLiteral("Premiere Planer öffnen"),
                   QStyle::SP_FileDialogDetailedView, &TFrmTimer::LMDOfficeButton9Click);
    LMDOfficeButton7 = makeButton("LMDOfficeButton7", QStringLiteral("TVGenial import"),
                                  QStringLiteral("TVGenial - Timerdatei einlesen"),
                                  QStyle::SP_DialogOpenButton, &TFrmTimer::LMDOfficeButton7Click);
    buttonRow->addStretch(1);
    outer->addLayout(buttonRow);

    // The grid.
    sg1 = new QTableWidget(1, TimerEntry::ColumnCount, this);
    sg1->setObjectName(QStringLiteral("sg1"));
    sg1->setToolTip(QStringLiteral("Timer ...."));
    sg1->setHorizontalHeaderLabels(TimerList::headerTexts());
    sg1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    sg1->horizontalHeader()->setHighlightSections(false);
    sg1->horizontalHeader()->hide();
    sg1->verticalHeader()->hide();
    sg1->verticalHeader()->setDefaultSectionSize(sg1->fontMetrics().height() + 8);
    for (int column = 0; column < TimerEntry::ColumnCount; ++column)
        sg1->setColumnWidth(column, ColumnWidths[column]);
    sg1->setSelectionBehavior(QAbstractItemView::SelectRows);
    sg1->setSelectionMode(QAbstractItemView::SingleSelection);
    sg1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sg1->setShowGrid(true);
    sg1->setWordWrap(false);
    sg1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The seven columns are wider than the window; without a scroll bar the last ones could
    // not be reached.
    sg1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QPalette gridPalette = sg1->palette();
    gridPalette.setColor(QPalette::Base, GridColor);
    sg1->setPalette(gridPalette);
    connect(sg1, &QTableWidget::currentCellChanged, this, [this](int row, int, int previousRow, int) {
        if (m_rebuilding || row < 0 || row == previousRow)
            return;
        const int gridRow = m_headerFixed ? row + 1 : 0;
        runGuarded(this, [this, gridRow] { sg1SelectCell(gridRow); });
    });
    connect(sg1, &QTableWidget::cellClicked, this, [this](int row, int) {
        const int gridRow = m_headerFixed ? row + 1 : 0;
        runGuarded(this, [this, gridRow] { sg1Click(gridRow); });
    });
    outer->addWidget(sg1, 1);

    // The edit panel: each field under its label.
    auto *panel = new QGridLayout;
    auto addField = [this, panel](int column, const QString &label, QWidget *field, int stretch) {
        auto *caption = new QLabel(label, this);
        caption->setBuddy(field);
        panel->addWidget(caption, 0, column);
        panel->addWidget(field, 1, column);
        panel->setColumnStretch(column, stretch);
        setFieldColors(field);
    };
    edt1 = new QLineEdit(this);
    edt1->setObjectName(QStringLiteral("edt1"));
    QPalette descriptionPalette = edt1->palette();
    descriptionPalette.setColor(QPalette::Text, Qt::red);
    edt1->setPalette(descriptionPalette);
    QFont descriptionFont = edt1->font();
    descriptionFont.setBold(true);
    edt1->setFont(descriptionFont);
    addField(0, QStringLiteral("Beschreibung :"), edt1, 4);

    cb1 = new ChannelChooser(this);
    cb1->setObjectName(QStringLiteral("cb1"));
    cb1->setMinimumContentsLength(24);
    addField(1, QStringLiteral("Service :"), cb1, 4);

    cbMode = new QComboBox(this);
    cbMode->setObjectName(QStringLiteral("cbMode"));
    cbMode->addItems(timertypes::modeNames());
    cbMode->setPlaceholderText(QStringLiteral("select ..."));
    cbMode->setCurrentIndex(-1);
    addField(2, QStringLiteral("Type :"), cbMode, 1);

    cal1 = new QDateEdit(QDate::currentDate(), this);
    cal1->setObjectName(QStringLiteral("cal1"));
    cal1->setCalendarPopup(true);
    cal1->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    cal1->setMinimumWidth(cal1->fontMetrics().horizontalAdvance(QStringLiteral("00.00.00000")) + 40);
    addField(3, QStringLiteral("Datum :"), cal1, 1);

    edtStartTime = new QTimeEdit(this);
    edtStartTime->setObjectName(QStringLiteral("edtStartTime"));
    edtStartTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    addField(4, QStringLiteral("Startzeit :"), edtStartTime, 1);

    edtLaenge = new QTimeEdit(this);
    edtLaenge->setObjectName(QStringLiteral("edtLaenge"));
    edtLaenge->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    addField(5, QStringLiteral("Länge :"), edtLaenge, 1);

    BtnChangeLine = new QPushButton(QStringLiteral("&OK"), this);
    BtnChangeLine->setObjectName(QStringLiteral("BtnChangeLine"));
    BtnChangeLine->setToolTip(QStringLiteral("Daten übernehmen"));
    BtnChangeLine->setDefault(true);
    connect(BtnChangeLine, &QPushButton::clicked, this, &TFrmTimer::BtnChangeLineClick);
    panel->addWidget(BtnChangeLine, 1, 6);
    outer->addLayout(panel);

    // Progress, status and Close.
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setValue(0);
    ProgressBar1->hide();
    outer->addWidget(ProgressBar1);

    auto *bottomRow = new QHBoxLayout;
    Label3 = new QLabel(QStringLiteral("---"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    bottomRow->addWidget(Label3, 1);
    LMDOfficeButton8 = new QPushButton(QStringLiteral("&Close"), this);
    LMDOfficeButton8->setObjectName(QStringLiteral("LMDOfficeButton8"));
    LMDOfficeButton8->setToolTip(QStringLiteral("Close"));
    LMDOfficeButton8->setAutoDefault(false);
    connect(LMDOfficeButton8, &QPushButton::clicked, this, &TFrmTimer::LMDOfficeButton8Click);
    bottomRow->addWidget(LMDOfficeButton8);
    outer->addLayout(bottomRow);

    m_clockTimer = new QTimer(this);
    connect(m_clockTimer, &QTimer::timeout, this,
            [this] { Clock->setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss"))); });
    m_clockTimer->start(1000);
}

// ---- grid mirror -------------------------------------------------------------------------

void TFrmTimer::fillGridRow(int row)
{
    const TimerEntry &entry = m_list.entries().at(row - 1);
    for (int column = 0; column < TimerEntry::ColumnCount; ++column) {
        const QString text =
            column == TimerEntry::ColDescription ? fileTextToDisplay(entry.description) : entry.cell(column);
        QTableWidgetItem *item = sg1->item(row - 1, column);
        if (!item) {
            item = new QTableWidgetItem;
            sg1->setItem(row - 1, column, item);
        }
        item->setText(text);
    }
}

void TFrmTimer::rebuildGrid()
{
    m_rebuilding = true;
    {
        const QSignalBlocker blocker(sg1);
        sg1->clearContents();
        if (m_headerFixed) {
            sg1->horizontalHeader()->show();
            sg1->setRowCount(m_list.size());
            for (int row = 1; row <= m_list.size(); ++row)
                fillGridRow(row);
        } else {
            // Before anything was read the grid is one empty row without a header.
            sg1->horizontalHeader()->hide();
            sg1->setRowCount(1);
        }
        if (m_headerFixed && rememberedRowIsData())
            sg1->setCurrentCell(m_rememberedRow - 1, 0);
        else
            sg1->setCurrentCell(-1, -1);
    }
    m_panelRow = -1;
    m_rebuilding = false;
}

void TFrmTimer::listChanged()
{
    m_headerFixed = true;
    rebuildGrid();
}

bool TFrmTimer::rememberedRowIsData() const
{
    return m_rememberedRow >= 1 && m_rememberedRow <= m_list.size();
}

void TFrmTimer::selectRow(int row)
{
    if (!m_headerFixed || row < 1 || row > m_list.size())
        return;
    {
        const QSignalBlocker blocker(sg1);
        sg1->setCurrentCell(row - 1, 0);
        sg1->scrollToItem(sg1->item(row - 1, 0));
    }
    sg1SelectCell(row);
}

void TFrmTimer::sg1SelectCell(int row)
{
    if (row < 1 || row > m_list.size())
        return;
    m_rememberedRow = row;
    m_panelRow = row;
    const TimerEntry &entry = m_list.entries().at(row - 1);

    edt1->setText(fileTextToDisplay(entry.description));
    edt1->setCursorPosition(0);

    const QDateTime begin = m_clock.EpochToDateTime(strToInt(entry.timeBegin));
    cal1->setDate(begin.date());
    edtStartTime->setTime(begin.time());

    edtLaenge->setTime(SecondsToTime(strToInt(entry.duration)));

    const QString mode = timertypes::modeForType(QString::number(strToInt(entry.type)));
    cbMode->setCurrentIndex(static_cast<int>(timertypes::modeNames().indexOf(mode)));

    const QString key = servicerefs::channelKey(entry.service);
    if (!cb1->chooseFirst([&key](const QString &node) { return node.startsWith(key); }))
        cb1->showText(QStringLiteral("???"));
}

void TFrmTimer::sg1Click(int row)
{
    Label3->setText(QStringLiteral("..."));
    // After the grid was rebuilt the highlighted row may not have filled the panel yet; a
    // click on it must show its values, as a click on any other row does.
    if (row >= 1 && row != m_panelRow)
        sg1SelectCell(row);
}

// ---- channel settings --------------------------------------------------------------------

bool TFrmTimer::loadChannelSettings()
{
    if (!QFile::exists(m_folders.settingsFile())) {
        showMessageBox(this, QStringLiteral("Die Datei -> BVSettins.set <- ist nicht vorhanden.\n"
                                            "Bitte -Service- neu ertellen !"));
        return false;
    }
    cb1->clearTree();
    m_settings.clear();
    m_settings = ChannelSettings::load(m_folders.settingsFile());
    cb1->setSettings(m_settings);
    return true;
}

TransferProgress TFrmTimer::transferProgress()
{
    return [this](qint64 done, qint64 total) {
        ProgressBar1->show();
        if (total > 0) {
            ProgressBar1->setMaximum(1000);
            ProgressBar1->setValue(static_cast<int>(std::clamp<qint64>(done * 1000 / total, 0, 1000)));
        } else {
            ProgressBar1->setMaximum(0); // busy indicator while the size is unknown
        }
        return true;
    };
}

// ---- operations --------------------------------------------------------------------------

bool TFrmTimer::readTimer()
{
    try {
        const ProgressShown shown(ProgressBar1);
        std::unique_ptr<FtpSession> session = m_box.ftpConnect();
        session->retrieve(QLatin1String(BoxTimerPath), m_folders.timerFile(), transferProgress());
        session->abort();
        session->quit();
    } catch (const std::exception &) {
        m_log.add(QStringLiteral("Fehler! konnte DreamBox nicht erreichen!   "));
        showMessageBox(this, QStringLiteral("keine Verbindung zur Box ...."));
        return false;
    }

    m_list.clear();
    m_headerFixed = false;
    rebuildGrid();
    if (!QFile::exists(m_folders.timerFile())) {
        showMessageBox(this, QStringLiteral("Die Datei -> timer.epl <- ist nicht vorhanden ..."));
        return false;
    }
    // An unreadable settings file is reported, and the list is still shown.
    runGuarded(this, [this] { loadChannelSettings(); });
    m_list.load(m_folders.timerFile());
    listChanged();
    LMDOfficeButton4->setEnabled(true);

    // The panel must show the row that OK and Del Line act on, never values left over from the
    // list before this read; a row that no longer exists is forgotten.
    if (rememberedRowIsData())
        runGuarded(this, [this] { selectRow(m_rememberedRow); });
    else
        m_rememberedRow = 0;
    return true;
}

void TFrmTimer::saveAndTransfer()
{
    m_list.save(m_folders.timerFile());
    {
        const ProgressShown shown(ProgressBar1);
        std::unique_ptr<FtpSession> session = m_box.ftpConnect();
        session->store(m_folders.timerFile(), QLatin1String(BoxTimerPath), transferProgress());
        session->abort();
        session->quit();
    }
    m_box.httpGet(QByteArray(ReloadTimerListTarget), AfterRequest::Close);
    Label3->setText(QStringLiteral("Upload Ready ... und Timer aktiviert !"));
}

void TFrmTimer::newItem()
{
    if (m_rememberedRow < 1)
        m_rememberedRow = 1;
    runGuarded(this, [this] { loadChannelSettings(); });

    const QDateTime now = QDateTime::currentDateTime();
    const qint64 inTenMinutes = now.time().msecsSinceStartOfDay() / 1000 + 600;
    m_list.appendNew(QStringLiteral("NEW Item"), servicerefs::DefaultReference,
                     QString::number(m_clock.DateTimeToEpoch(now.date(), inTenMinutes)),
                     QStringLiteral("60"));
    listChanged();
    LMDOfficeButton4->setEnabled(true);
    selectRow(m_list.size());
}

void TFrmTimer::changeLine()
{
    if (m_list.isEmpty() || !rememberedRowIsData())
        return;
    TimerEntry &entry = m_list.entries()[m_rememberedRow - 1];

    entry.description = displayTextToFile(edt1->text());

    // Only a chosen channel entry carries a reference part; "???" or a bouquet name would
    // corrupt the reference, so SERVICE then stays as it is. A reference without its ten
    // fields (an imported row whose channel was not found) is built whole.
    if (cb1->showsChannel()) {
        const QString channel = cb1->shownText();
        if (entry.service.count(u':') >= 7)
            entry.service = servicerefs::replaceReferencePart(entry.service, channel.left(24));
        else
            entry.service = servicerefs::fromChannelEntry(channel);
    }

    if (cbMode->currentIndex() >= 0) {
        if (const std::optional<QString> type = timertypes::typeForMode(cbMode->currentText()))
            entry.type = *type;
    }

    const QTime start = edtStartTime->time();
    entry.timeBegin = QString::number(
        m_clock.DateTimeToEpoch(cal1->date(), QTime(start.hour(), start.minute(), start.second())));
    entry.duration = QString::number(TimeToSeconds(edtLaenge->time()));

    fillGridRow(m_rememberedRow);
}

void TFrmTimer::deleteLine()
{
    if (!rememberedRowIsData())
        return;
    const QString question = QStringLiteral("Möchtest Du den Eintrag -> ") + edt1->text() +
                             QStringLiteral(" <- wirklich löschen ??");
    if (!m_confirm(this, question))
        return;
    const int row = m_rememberedRow;
    m_list.removeRow(row);
    rebuildGrid();
    // The panel still shows the deleted entry; it must show the row OK would now write to.
    if (m_list.isEmpty())
        m_rememberedRow = 0;
    else
        selectRow(std::min(row, m_list.size()));
}

void TFrmTimer::createService()
{
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    cb1->clearTree();
    m_settings.clear();

    CreateService build(m_folders, m_box);
    build.setInform([this](const QString &message) { showMessageBox(this, message); });
    QElapsedTimer sincePaint;
    sincePaint.start();
    build.setProgress([this, &sincePaint](int position, int maximum) {
        ProgressBar1->setMaximum(std::max(maximum, 1));
        ProgressBar1->setValue(std::min(position, std::max(maximum, 1)));
        // Let the window repaint now and then while the channel lists are read.
        if (sincePaint.elapsed() > 40) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sincePaint.restart();
        }
    });
    // On failure the bar stays visible until the next successful build.
    BouquetsReadResult result;
    try {
        result = build.run();
    } catch (const TimerNotice &notice) {
        showMessageBox(this, notice.message());
        return;
    }
    m_settings = result.settings;
    cb1->setSettings(m_settings);
    ProgressBar1->setValue(0);
    ProgressBar1->hide();
    if (rememberedRowIsData() && m_headerFixed)
        selectRow(m_rememberedRow);
    if (!result.missingKeys.isEmpty())
        showMessageBox(this, leftOutChannelsMessage(result.missingKeys));
}

void TFrmTimer::guideImport()
{
    GuideImportResult result;
    try {
        result = runGuideImport(m_folders, m_settings, m_list, m_clock,
                                [this](const QString &message) { showMessageBox(this, message); });
    } catch (const TimerNotice &notice) {
        showMessageBox(this, notice.message());
        return;
    }
    cb1->setSettings(m_settings);
    listChanged();
    if (rememberedRowIsData())
        runGuarded(this, [this] { selectRow(m_rememberedRow); });
    if (!result.skipped.isEmpty())
        showMessageBox(this, result.skipped.join(u'\n'));
}

void TFrmTimer::GridDruck(QPrinter &printer, int margin, double scale)
{
    printer.setDocName(QStringLiteral("Grid-Druck"));
    QPainter painter;
    if (!painter.begin(&printer))
        throw BoxvisorError(QStringLiteral("Der Drucker konnte nicht gestartet werden."));

    const double dotsX = printer.logicalDpiX() / 72.0 * scale;
    const double dotsY = printer.logicalDpiY() / 72.0 * scale;
    auto toX = [dotsX](double points) { return static_cast<int>(std::lround(points * dotsX)); };
    auto toY = [dotsY](double points) { return static_cast<int>(std::lround(points * dotsY)); };

    QFont font = sg1->font();
    const double pointSize = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 0.75;
    font.setPointSize(std::max(1, static_cast<int>(std::lround(pointSize / 0.72 * scale))));
    painter.setFont(font);
    const int lineHeight = painter.fontMetrics().height();

    if (sg1->showGrid())
        painter.setPen(QPen(QColor(51, 51, 51), 1, Qt::SolidLine));
    else
        painter.setPen(Qt::NoPen);

    // The grid's rows as shown: the header (when fixed) and the data rows.
    QList<QStringList> rows;
    auto rowTexts = [this](int tableRow) {
        QStringList texts;
        for (int column = 0; column < sg1->columnCount(); ++column) {
            const QTableWidgetItem *item =
                tableRow < 0 ? sg1->horizontalHeaderItem(column) : sg1->item(tableRow, column);
            texts.append(item ? item->text() : QString());
        }
        return texts;
    };
    for (int row = 0; row < sg1->rowCount(); ++row)
        rows.append(rowTexts(row));
    const bool hasHeader = m_headerFixed;
    const QStringList header = hasHeader ? rowTexts(-1) : QStringList();

    const int x0 = toX(margin) + 1;
    const int y0 = toY(margin) + 1;
    const int rowHeight = toY(sg1->verticalHeader()->defaultSectionSize() + 1);
    const int pageBottom = painter.viewport().height();
    const int insetX = toX(3);
    const QColor fixedColor = sg1->palette().color(QPalette::Button);

    // Rows that do not fit go on the next page, under the header again.
    const int firstOnPage = y0 + (hasHeader ? rowHeight : 0);
    const int rowsPerPage = std::max(1, (pageBottom - firstOnPage - lineHeight) / std::max(rowHeight, 1));
    int next = 0;
    do {
        const int count = std::min(rowsPerPage, static_cast<int>(rows.size()) - next);
        int x = x0;
        for (int column = 0; column < sg1->columnCount(); ++column) {
            const int width = toX(sg1->columnWidth(column) + 1);
            int y = y0;
            auto drawCell = [&](const QString &text, bool fixed) {
                const QRect cell(x, y, width, rowHeight);
                painter.setBrush(fixed ? fixedColor : GridColor);
                painter.drawRect(cell);
                painter.drawText(cell.adjusted(insetX, 1, -insetX, -1),
                                 Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
                y += rowHeight;
            };
            if (hasHeader)
                drawCell(header.at(column), true);
            for (int row = next; row < next + count; ++row)
                drawCell(rows.at(row).at(column), false);
            painter.fillRect(QRect(x, y, width, lineHeight), Qt::white);
            x += width;
        }
        next += count;
        if (next < rows.size())
            printer.newPage();
    } while (next < rows.size());
    painter.end();
}

// ---- handlers ----------------------------------------------------------------------------

void TFrmTimer::LMDOfficeButton2Click()
{
    runGuarded(this, [this] { readTimer(); });
}

void TFrmTimer::LMDOfficeButton4Click()
{
    runGuarded(this, [this] { saveAndTransfer(); });
}

void TFrmTimer::LMDOfficeButton3Click()
{
    runGuarded(this, [this] { deleteLine(); });
}

void TFrmTimer::LMDOfficeButton5Click()
{
    runGuarded(this, [this] {
        QPrinter printer(QPrinter::HighResolution);
        printer.setDocName(QStringLiteral("Grid-Druck"));
        printer.setPageOrientation(QPageLayout::Landscape);
        if (!m_choosePrinter(this, printer))
            return;
        // The grid is wider than a page; it is printed smaller rather than cut off.
        double needed = 2;
        for (int column = 0; column < sg1->columnCount(); ++column)
            needed += sg1->columnWidth(column) + 1;
        const double available = printer.pageLayout().paintRect(QPageLayout::Point).width();
        GridDruck(printer, 0, std::min(1.0, available / needed));
    });
}

void TFrmTimer::LMDOfficeButton6Click()
{
    runGuarded(this, [this] { createService(); });
}

void TFrmTimer::LMDOfficeButton1Click()
{
    runGuarded(this, [this] { newItem(); });
}

void TFrmTimer::LMDOfficeButton9Click()
{
    runGuarded(this, [this] {
        if (m_openPlanner)
            m_openPlanner();
        else
            showMessageBox(this, QStringLiteral("Der Planer ist in dieser Version noch nicht verfügbar."));
    });
}

void TFrmTimer::LMDOfficeButton7Click()
{
    runGuarded(this, [this] { guideImport(); });
}

void TFrmTimer::LMDOfficeButton8Click()
{
    Label3->setText(QStringLiteral("..."));
    close();
}

void TFrmTimer::BtnChangeLineClick()
{
    runGuarded(this, [this] { changeLine(); });
}
