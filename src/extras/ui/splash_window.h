#pragma once

#include <QPixmap>
#include <QWidget>

#include <chrono>

// The picture shown while the program starts: no caption bar, cut to the outline of its
// picture, centred on the screen.
class TFrmSplash final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFrmSplash)

public:
    explicit TFrmSplash(QWidget *parent = nullptr);
    ~TFrmSplash() override;

    const QPixmap &picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_picture;
};

// The start-up's splash step: create the splash, show it in its normal state, paint it, block
// for `hold` without handling any message, destroy it.
void showSplashStep(std::chrono::milliseconds hold = std::chrono::milliseconds(2000));
