#pragma once

#include <QWidget>

// The message balloon shown on the PC screen for calls and Outlook notices: an ellipse with a
// drop shadow and sunken text, placed with its top-left corner at a screen position. It never
// takes the focus; a new text replaces the one showing.
class TMssgHint final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMssgHint)

public:
    explicit TMssgHint(QWidget *parent = nullptr);

    // "\r\n" and "\n" both break lines.
    void showAt(const QPoint &topLeft, const QString &text);
    void hideHint();
    QString text() const { return m_text; }

    static constexpr int ShadowDepth = 8;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect ellipseRect() const;

    QString m_text;
};
