#include "extras/ui/about_window.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "common/error.h"
#include "extras/ui/fly_text.h"
#include "extras/ui/link_label.h"
#include "extras/ui/splash_window.h"
#include "support/test_paths.h"

namespace {

// Receives the addresses the windows ask the desktop to open.
class UrlCatcher final : public QObject
{
    Q_OBJECT

public:
    UrlCatcher()
    {
        for (const char *scheme : {"https", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~UrlCatcher() override
    {
        for (const char *scheme : {"https", "mailto"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

// A start folder with the chosen pictures copied from the demo's Logos folder.
QString makeStartDir(const QTemporaryDir &dir, bool morvel, bool tvgenial)
{
    const QString logos = dir.filePath(QStringLiteral("Logos"));
    QDir().mkpath(logos);
    const QString demo = testpaths::sourceDir() + QStringLiteral("/demo/Logos/");
    if (morvel)
        QFile::copy(demo + QStringLiteral("Morvel.jpg"), logos + QStringLiteral("/Morvel.jpg"));
    if (tvgenial)
        QFile::copy(demo + QStringLiteral("tvgenial_logo_bw.jpg"),
                    logos + QStringLiteral("/tvgenial_logo_bw.jpg"));
    return dir.path();
}

bool hasPicture(const QLabel *label)
{
    return !label->pixmap().isNull();
}

TEST(AboutWindow, PicturesLoadedOrFileErrorNamingTheMissingFile)
{
    const struct
    {
        const char *name;
        bool morvel;
        bool tvgenial;
        const char *missing; // file named by the error, or nullptr
        bool picture1;
        bool picture2;
    } cases[] = {
        {"BothPresent", true, true, nullptr, true, true},
        {"FirstMissingSecondNotTried", false, true, "Morvel.jpg", false, false},
        {"SecondMissing", true, false, "tvgenial_logo_bw.jpg", true, false},
        {"NoneThere", false, false, "Morvel.jpg", false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        TFrmAbout about(makeStartDir(dir, c.morvel, c.tvgenial), nullptr);
        if (c.missing) {
            try {
                about.FormActivate();
                ADD_FAILURE() << "no error";
            } catch (const FileError &e) {
                const QString expected =
                    dir.path() + QStringLiteral("/Logos/") + QString::fromLatin1(c.missing);
                EXPECT_TRUE(e.message().contains(expected)) << e.what();
            }
        } else {
            EXPECT_NO_THROW(about.FormActivate());
        }
        EXPECT_EQ(hasPicture(about.Image1), c.picture1);
        EXPECT_EQ(hasPicture(about.Image2), c.picture2);
    }
}

TEST(AboutWindow, OpeningReportsErrorAndStillShows)
{
    QTemporaryDir dir;
    const QString start = makeStartDir(dir, true, true);
    QFile bad(start + QStringLiteral("/Logos/Morvel.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
    bad.write("not a picture");
    bad.close();

    TFrmAbout about(start, nullptr);
    QStringList errors;
    about.OnActivateError = [&](const QString &text) { errors.append(text); };
    about.show();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.front().contains(bad.fileName())) << errors.front().toStdString();
    EXPECT_TRUE(about.isVisible());
    EXPECT_FALSE(hasPicture(about.Image2));

    // Every opening loads the pictures again: fixed files now load without an error.
    about.hide();
    QFile::remove(bad.fileName());
    QFile::copy(testpaths::sourceDir() + QStringLiteral("/demo/Logos/Morvel.jpg"), bad.fileName());
    about.show();
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(hasPicture(about.Image1) && hasPicture(about.Image2));
}

TEST(AboutWindow, ShapeAndFrame)
{
    QTemporaryDir dir;
    TFrmAbout about(makeStartDir(dir, true, true), nullptr);
    EXPECT_EQ(about.objectName(), QStringLiteral("FrmAbout"));
    EXPECT_EQ(about.size(), QSize(486, 466));
    EXPECT_TRUE(about.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(about.palette().color(QPalette::Window), QColor(0xBB, 0xBB, 0xFF));

    const QRegion mask = about.mask();
    EXPECT_FALSE(mask.isEmpty());
    EXPECT_NE(mask, QRegion(about.rect()));
    for (const QPoint corner : {QPoint(1, 1), QPoint(484, 1), QPoint(484, 464), QPoint(1, 464)})
        EXPECT_FALSE(mask.contains(corner)) << corner.x() << "," << corner.y();
    EXPECT_TRUE(mask.contains(QPoint(243, 210))) << "centre of the bubble";
    EXPECT_TRUE(mask.contains(QPoint(90, 420))) << "small bubble below";
    // Every element lies inside the outline.
    for (const QWidget *child : about.findChildren<QWidget *>())
        EXPECT_TRUE(mask.contains(child->geometry())) << child->metaObject()->className();
}

TEST(AboutWindow, ClickOnBackgroundClosesClickOnLinkOpensIt)
{
    QTemporaryDir dir;
    TFrmAbout about(makeStartDir(dir, true, true), nullptr);
    UrlCatcher catcher;
    QSignalSpy finished(&about, &QDialog::finished);
    about.open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));

    const struct
    {
        const char *name;
        LinkLabel *link;
        const char *scheme;
    } links[] = {{"OnlineTimer", about.lnkOnlineTimer, "https"},
                 {"Sms", about.lnkSms, "https"},
                 {"Author", about.lnkAuthor, "mailto"},
                 {"Morvel", about.lnkMorvel, "https"},
                 {"Board", about.lnkBoard, "https"},
                 {"TvGenial", about.lnkTvGenial, "https"}};
    for (const auto &l : links) {
        SCOPED_TRACE(l.name);
        catcher.opened.clear();
        EXPECT_FALSE(l.link->toolTip().isEmpty());
        EXPECT_TRUE(l.link->font().bold() && l.link->font().underline());
        QTest::mouseClick(about.windowHandle(), Qt::LeftButton, {}, l.link->geometry().center());
        ASSERT_EQ(catcher.opened.size(), 1);
        EXPECT_EQ(catcher.opened.front(), l.link->url());
        EXPECT_EQ(catcher.opened.front().scheme(), QString::fromLatin1(l.scheme));
        EXPECT_TRUE(about.isVisible());
    }

    // A picture and plain text are background too.
    QTest::mouseClick(about.windowHandle(), Qt::LeftButton, {}, about.Image1->geometry().center());
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(finished.count(), 1);
}

TEST(AboutWindow, HeadlineIsDrawnInPerspective)
{
    QTemporaryDir dir;
    TFrmAbout about(makeStartDir(dir, true, true), nullptr);
    EXPECT_EQ(about.lblNew->text(), QStringLiteral("++ NEW +++ NEW +++ NEW ++"));
    QImage image(about.lblNew->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    about.lblNew->render(&image, {}, {}, QWidget::DrawChildren);

    // Horizontal extent of the painted pixels in the upper and the lower third.
    auto extent = [&](int fromRow, int toRow) {
        int left = image.width(), right = -1;
        for (int y = fromRow; y < toRow; ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) > 0) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return right - left;
    };
    const int h = image.height();
    const int top = extent(0, h / 3);
    const int bottom = extent(2 * h / 3, h);
    EXPECT_GT(top, 0);
    EXPECT_GT(bottom, top + 20) << "the near edge is wider than the far edge";
}

TEST(SplashWindow, CutToThePictureAndCentred)
{
    TFrmSplash splash;
    EXPECT_FALSE(splash.picture().isNull()) << "picture built into the program";
    EXPECT_EQ(splash.size(), QSize(505, 447));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    const QRegion mask = splash.mask();
    EXPECT_FALSE(mask.isEmpty());
    EXPECT_NE(mask, QRegion(splash.rect()));
    EXPECT_FALSE(mask.contains(QPoint(2, 2))) << "transparent corner";
    EXPECT_TRUE(mask.contains(QPoint(250, 240))) << "the screen of the picture";
}

TEST(SplashWindow, StepShowsAndDestroysTheSplash)
{
    // The step blocks for the time given; zero keeps the test fast.
    int splashesBefore = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        splashesBefore += w->objectName() == QStringLiteral("FrmSplash");
    showSplashStep(std::chrono::milliseconds(0));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int splashesAfter = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        splashesAfter += w->objectName() == QStringLiteral("FrmSplash");
    EXPECT_EQ(splashesAfter, splashesBefore);
}

} // namespace

#include "about_window_test.moc"
