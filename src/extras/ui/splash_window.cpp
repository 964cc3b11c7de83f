#include "extras/ui/splash_window.h"

#include <QBitmap>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <memory>
#include <thread>

namespace {

// Read as the PNG it is: left to find the format itself, the reader first loads every image
// plugin installed to ask it, before the splash can show. Not QPixmap's own file loading
// either: that keeps the picture in the pixmap cache for the whole run.
QPixmap splashPicture()
{
    QImageReader reader(QStringLiteral(":/extras/resources/splash.png"), "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

} // namespace

TFrmSplash::TFrmSplash(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), m_picture(splashPicture())
{
    setObjectName(QStringLiteral("FrmSplash"));
    setFixedSize(505, 447);
    setAttribute(Qt::WA_TranslucentBackground, false);
    if (!m_picture.isNull())
        setMask(m_picture.scaled(size()).mask());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TFrmSplash::~TFrmSplash() = default;

void TFrmSplash::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawPixmap(rect(), m_picture);
}

void showSplashStep(std::chrono::milliseconds hold)
{
    auto splash = std::make_unique<TFrmSplash>();
    splash->show();
    splash->showNormal();

    // A window can only be painted once the display has mapped it. Wait for that (handling
    // no input), so that the picture is on the screen during the blocking wait below.
    QElapsedTimer waited;
    waited.start();
    QTimer wake;
    wake.start(20);
    while (splash->windowHandle() && !splash->windowHandle()->isExposed() && waited.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    splash->repaint();

    std::this_thread::sleep_for(hold);
    splash.reset();
}
