#pragma once

#include <QWidget>

// A headline drawn as if it flew towards the viewer: the text outline is mapped onto a
// trapezoid (narrow far edge at the top, wide near edge at the bottom) and filled with a
// gradient.
class FlyText final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FlyText)

public:
    explicit FlyText(QString text, QWidget *parent = nullptr);

    const QString &text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
};
