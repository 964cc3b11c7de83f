#include "callnotify/ui/frm_tel_book.h"

#include "app/settings_file.h"
#include "callnotify/call_handler.h"
#include "callnotify/phone_book.h"
#include "common/error.h"
#include "outlook/outlook_interface.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include <exception>

namespace {
const QColor gridColour(255, 255, 164);
const int columnWidths[] = {64, 240, 232, 179};

void setComboIndex(QComboBox *combo, int index)
{
    // An index outside the list leaves no selection; the import then reads the fallback.
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}
} // namespace

TFrmTelBook::TFrmTelBook(TelBookDeps deps, QWidget *parent) : QDialog(parent), m_deps(std::move(deps))
{
    setObjectName(QStringLiteral("FrmTelBook"));
    setWindowTitle(QStringLiteral("++ Outlook Telefonbook ++"));
    setWindowFlags(Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    resize(752, 555);

    auto *select = new QGroupBox(QStringLiteral("Select Items"), this);
    CBTelName = new QComboBox(select);
    CBTelName->setObjectName(QStringLiteral("CBTelName"));
    CBTelName->addItems(PhoneBook::nameItems());
    CbTelNumber = new QComboBox(select);
    CbTelNumber->setObjectName(QStringLiteral("CbTelNumber"));
    CbTelNumber->addItems(PhoneBook::numberItems());
    setComboIndex(CBTelName, 1);
    setComboIndex(CbTelNumber, 1);
    chkMatchNotations = new QCheckBox(
        QStringLiteral("Auch andere Schreibweisen der Nummer erkennen (+49 30 1234567, 030/1234567, ...)"),
        select);
    chkMatchNotations->setObjectName(QStringLiteral("chkMatchNotations"));
    auto *selectLayout = new QGridLayout(select);
    selectLayout->addWidget(new QLabel(QStringLiteral("TV Anrufanzeige :"), select), 0, 0);
    selectLayout->addWidget(CBTelName, 0, 1);
    selectLayout->addWidget(new QLabel(QStringLiteral("Nummer :"), select), 1, 0);
    selectLayout->addWidget(CbTelNumber, 1, 1);
    selectLayout->addWidget(new QLabel(QStringLiteral("e-mail - Filter Name :"), select), 2, 0);
    selectLayout->addWidget(chkMatchNotations, 3, 0, 1, 2);
    selectLayout->setColumnStretch(1, 1);

    sg1 = new QTableWidget(2, 4, this);
    sg1->setObjectName(QStringLiteral("sg1"));
    sg1->setSelectionBehavior(QAbstractItemView::SelectRows);
    sg1->setSelectionMode(QAbstractItemView::SingleSelection);
    sg1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sg1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    sg1->verticalHeader()->hide();
    sg1->horizontalHeader()->hide();
    QPalette palette = sg1->palette();
    palette.setColor(QPalette::Base, gridColour);
    sg1->setPalette(palette);
    for (int column = 0; column < 4; ++column)
        sg1->setColumnWidth(column, columnWidths[column]);

    auto *bottom = new QWidget(this);
    BtnRefresh = new QPushButton(QStringLiteral("Refresh"), bottom);
    BtnRefresh->setObjectName(QStringLiteral("BtnRefresh"));
    BtnFind = new QPushButton(QStringLiteral("Find"), bottom);
    BtnFind->setObjectName(QStringLiteral("BtnFind"));
    BtnClose = new QPushButton(QStringLiteral("Close"), bottom);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    EdtFindNumber = new QLineEdit(bottom);
    EdtFindNumber->setObjectName(QStringLiteral("EdtFindNumber"));
    auto *bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->addWidget(BtnRefresh);
    bottomLayout->addWidget(BtnFind);
    bottomLayout->addWidget(new QLabel(QStringLiteral("Number :"), bottom));
    bottomLayout->addWidget(EdtFindNumber);
    bottomLayout->addStretch(1);
    bottomLayout->addWidget(BtnClose);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(select);
    layout->addWidget(sg1, 1);
    layout->addWidget(bottom);

    showRows();

    connect(BtnRefresh, &QPushButton::clicked, this, &TFrmTelBook::BtnRefreshClick);
    connect(BtnFind, &QPushButton::clicked, this, &TFrmTelBook::BtnFindClick);
    connect(BtnClose, &QPushButton::clicked, this, &TFrmTelBook::BtnCloseClick);
    connect(CBTelName, &QComboBox::currentIndexChanged, this, &TFrmTelBook::BtnRefreshClick);
    connect(CbTelNumber, &QComboBox::currentIndexChanged, this, &TFrmTelBook::BtnRefreshClick);
    connect(chkMatchNotations, &QCheckBox::toggled, this, [this](bool on) {
        if (m_deps.phoneBook)
            m_deps.phoneBook->setMatching(on ? NumberMatching::AnyNotation : NumberMatching::Exact);
    });
}

TFrmTelBook::~TFrmTelBook() = default;

void TFrmTelBook::reportError(const QString &text)
{
    if (m_deps.showError)
        m_deps.showError(this, text);
    else
        QMessageBox::critical(this, windowTitle(), text);
}

void TFrmTelBook::ReadTelefonnumber()
{
    Outlook *outlook = m_deps.outlook ? m_deps.outlook() : nullptr;
    if (!outlook || !m_deps.phoneBook)
        throw BoxvisorError(QStringLiteral("Es ist keine Kontaktdatei eingerichtet."));
    ImportProgress progress;
    if (QProgressBar *bar = m_deps.pb1) {
        progress.start = [bar](int maximum) {
            bar->setRange(0, maximum);
            bar->setValue(0);
            bar->show();
        };
        progress.setValue = [bar](int value) { bar->setValue(value); };
        progress.hide = [bar] { bar->hide(); };
    }
    try {
        m_deps.phoneBook->ReadTelefonnumber(*outlook, CBTelName->currentIndex(), CBTelName->currentText(),
                                            CbTelNumber->currentIndex(), progress);
    } catch (...) {
        showRows();
        throw;
    }
    showRows();
}

void TFrmTelBook::BtnRefreshClick()
{
    try {
        ReadTelefonnumber();
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
    }
}

void TFrmTelBook::BtnFindClick()
{
    if (!m_deps.callHandler)
        return;
    try {
        m_deps.callHandler->SucheNummer(EdtFindNumber->text());
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
    }
}

void TFrmTelBook::BtnCloseClick()
{
    close();
}

void TFrmTelBook::loadSettings(const ConfigSettings &settings)
{
    const QSignalBlocker blockName(CBTelName);
    const QSignalBlocker blockNumber(CbTelNumber);
    setComboIndex(CBTelName, settings.CBTelName);
    setComboIndex(CbTelNumber, settings.CBTelNumber);
    chkMatchNotations->setChecked(settings.MatchNotations);
    if (m_deps.phoneBook)
        m_deps.phoneBook->setMatching(settings.MatchNotations ? NumberMatching::AnyNotation
                                                              : NumberMatching::Exact);
}

void TFrmTelBook::storeSettings(ConfigSettings &settings) const
{
    settings.CBTelName = CBTelName->currentIndex();
    settings.CBTelNumber = CbTelNumber->currentIndex();
    settings.MatchNotations = chkMatchNotations->isChecked();
}

void TFrmTelBook::showRows()
{
    sg1->clearContents();
    if (!m_deps.phoneBook || !m_deps.phoneBook->isImported()) {
        // Before the first import (or after one that failed midway): two empty rows.
        sg1->setRowCount(2);
        sg1->horizontalHeader()->hide();
        return;
    }
    const QList<PhoneBookRow> &rows = m_deps.phoneBook->rows();
    sg1->setHorizontalHeaderLabels(m_deps.phoneBook->headers());
    sg1->horizontalHeader()->show();
    sg1->setRowCount(static_cast<int>(rows.size()));
    const QBrush fixedBrush = palette().button();
    for (int r = 0; r < rows.size(); ++r) {
        const PhoneBookRow &row = rows[r];
        const QString cells[] = {row.index, row.name, row.number, row.fullName};
        for (int column = 0; column < 4; ++column) {
            auto *item = new QTableWidgetItem(cells[column]);
            if (column == 0)
                item->setBackground(fixedBrush); // the index column stays fixed
            sg1->setItem(r, column, item);
        }
    }
}
