#pragma once

// The extras subsystem's windows: the about window (version, build date, pictures and links
// to the people and products the program works with) and the splash window shown at start-up
// (splash_window.h). They hold no logic and no state beyond what they show.

#include <QDialog>
#include <QRegion>

#include <functional>

class QLabel;
class FlyText;
class LinkLabel;

class TFrmAbout final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFrmAbout)

public:
    // startDir: the program's start folder; the pictures are read below startDir/Logos.
    explicit TFrmAbout(const QString &startDir, QWidget *parent = nullptr);
    ~TFrmAbout() override;

    // Loads both pictures; throws FileError when one is missing or unreadable (the second is
    // then not tried when the first failed). Runs on every opening of the window.
    void FormActivate();

    // Shows the error of an opening that failed. Unassigned: a critical message box.
    std::function<void(const QString &text)> OnActivateError;

    // The window's outline: an elliptic thought bubble with two small bubbles below it.
    static QRegion bubbleOutline();

    QLabel *Image1 = nullptr; // the settings provider's logo
    QLabel *Image2 = nullptr; // the TV-guide product's logo
    FlyText *lblNew = nullptr;
    LinkLabel *lnkOnlineTimer = nullptr;
    LinkLabel *lnkSms = nullptr;
    LinkLabel *lnkAuthor = nullptr;
    LinkLabel *lnkMorvel = nullptr;
    LinkLabel *lnkBoard = nullptr;
    LinkLabel *lnkTvGenial = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString m_startDir;
};
