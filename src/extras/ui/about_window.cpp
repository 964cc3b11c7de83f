#include "extras/ui/about_window.h"

#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QUrl>

#include "common/error.h"
#include "extras/ui/fly_text.h"
#include "extras/ui/link_label.h"

namespace {

constexpr int kWidth = 486;
constexpr int kHeight = 466;

// Addresses of the pages the about window links to.
const char *const kMailTimerPage = "https://boxvisor.example.org/mail2boxtimer.html";
const char *const kAuthorMail = "mailto:talvik@example.org?subject=Boxvisor";
const char *const kMorvelHome = "https://morvel.example.net/";
const char *const kMorvelBoard = "https://morvel.example.net/board/";
const char *const kTvGenialHome = "https://tvgenial.example.com/";

QLabel *addText(QWidget *parent, const QString &text, const QRect &geometry, bool bold, int pixelSize = 0)
{
    auto *label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(bold);
    if (pixelSize > 0)
        f.setPixelSize(pixelSize);
    label->setFont(f);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(geometry);
    // Plain texts and pictures belong to the background: a click on them closes the window.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

LinkLabel *addLink(QWidget *parent, const QString &text, const char *url, const QString &hint,
                   const QRect &geometry)
{
    auto *link = new LinkLabel(text, QUrl(QString::fromLatin1(url)), parent);
    link->setToolTip(hint);
    link->setAlignment(Qt::AlignCenter);
    link->setGeometry(geometry);
    return link;
}

// Reads a picture like the platform's file functions: a missing or unreadable file is a
// FileError naming the file and the system's reason.
QPixmap loadPicture(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Cannot open file \"") + path + QStringLiteral("\". ") +
                        file.errorString());
    QPixmap picture;
    if (!picture.loadFromData(file.readAll()))
        throw FileError(QStringLiteral("Cannot read picture file \"") + path +
                        QStringLiteral("\". The file is not a picture this program can show."));
    return picture;
}

void showScaled(QLabel *label, const QPixmap &picture)
{
    label->setPixmap(picture.scaled(label->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace

TFrmAbout::TFrmAbout(const QString &startDir, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_startDir(startDir)
{
    setObjectName(QStringLiteral("FrmAbout"));
    setFixedSize(kWidth, kHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xBB, 0xBB, 0xFF));
    setPalette(pal);
    setAutoFillBackground(true);
    setMask(bubbleOutline());

    addText(this, QStringLiteral("Boxvisor Beta V2.22"), QRect(143, 26, 200, 20), true);
    addText(this, QStringLiteral("Build 28.09.2003"), QRect(143, 46, 200, 20), true);
    lblNew = new FlyText(QStringLiteral("++ NEW +++ NEW +++ NEW ++"), this);
    lblNew->setGeometry(68, 68, 350, 52);

    const QString here = QStringLiteral("hier ...");
    lnkOnlineTimer =
        addLink(this, QStringLiteral("+ mit OnlineTimer  +"), kMailTimerPage, here, QRect(123, 122, 240, 18));
    lnkSms =
        addLink(this, QStringLiteral("+ und SMS Funktion +"), kMailTimerPage, here, QRect(123, 140, 240, 18));
    lnkAuthor = addLink(this, QStringLiteral("talvik"), kAuthorMail, QStringLiteral("ich ..."),
                        QRect(193, 160, 100, 18));
    QPalette red = lnkAuthor->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lnkAuthor->setPalette(red);

    lnkMorvel =
        addLink(this, QStringLiteral("Home of Morvel ..."), kMorvelHome,
                QStringLiteral("hier gibts Updates und immer die neuseten Setting für die Dreambox ..."),
                QRect(60, 182, 200, 18));
    lnkBoard = addLink(this, QStringLiteral("zum Board"), kMorvelBoard,
                       QStringLiteral("bei Fragen und Probleme "), QRect(276, 182, 150, 18));
    Image1 = addText(this, QString(), QRect(183, 204, 120, 60), false);

    lnkTvGenial = addLink(this, QStringLiteral("+ Schnittstelle zu TVGenial 3.02 +"), kTvGenialHome,
                          QStringLiteral("hier gibts das TVgenial Proggi ..."), QRect(93, 270, 300, 18));
    Image2 = addText(this, QString(), QRect(173, 292, 140, 40), false);
    addText(this, QStringLiteral("TVgenial ist ein Produkt der"), QRect(123, 334, 240, 14), false, 10);
    addText(this, QStringLiteral("Beispiel Medien GmbH"), QRect(123, 348, 240, 14), false, 10);

    // Centred on the screen the window opens on.
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TFrmAbout::~TFrmAbout() = default;

QRegion TFrmAbout::bubbleOutline()
{
    return QRegion(0, 0, kWidth, 420, QRegion::Ellipse) + QRegion(70, 404, 40, 32, QRegion::Ellipse) +
           QRegion(38, 442, 24, 22, QRegion::Ellipse);
}

void TFrmAbout::FormActivate()
{
    Image1->clear();
    Image2->clear();
    showScaled(Image1, loadPicture(m_startDir + QStringLiteral("/Logos/Morvel.jpg")));
    showScaled(Image2, loadPicture(m_startDir + QStringLiteral("/Logos/tvgenial_logo_bw.jpg")));
}

void TFrmAbout::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    try {
        FormActivate();
    } catch (const BoxvisorError &e) {
        if (OnActivateError)
            OnActivateError(e.message());
        else
            QMessageBox::critical(this, QGuiApplication::applicationDisplayName(), e.message());
    }
}

void TFrmAbout::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        close();
    else
        QDialog::mousePressEvent(event);
}
