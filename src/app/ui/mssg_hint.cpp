#include "app/ui/mssg_hint.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

namespace {
// Room around the text inside the ellipse: an ellipse inscribed around a rectangle needs about
// 1.42 times its width and height.
constexpr double EllipseGrowth = 1.45;
constexpr int MinWidth = 160;
constexpr int MinHeight = 70;
} // namespace

TMssgHint::TMssgHint(QWidget *parent)
    : QWidget(parent,
              Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("MssgHint"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    QFont f = font();
    f.setBold(true);
    setFont(f);
}

QRect TMssgHint::ellipseRect() const
{
    return QRect(0, 0, width() - ShadowDepth, height() - ShadowDepth);
}

void TMssgHint::showAt(const QPoint &topLeft, const QString &text)
{
    m_text = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QSize textSize = QFontMetrics(font()).size(0, m_text);
    const int w = qMax(MinWidth, qRound(textSize.width() * EllipseGrowth));
    const int h = qMax(MinHeight, qRound(textSize.height() * EllipseGrowth) + 10);
    setFixedSize(w + ShadowDepth, h + ShadowDepth);

    // A mask rather than a translucent window, so the shape also holds without a compositor.
    QRegion shape(ellipseRect(), QRegion::Ellipse);
    shape += QRegion(ellipseRect().translated(ShadowDepth, ShadowDepth), QRegion::Ellipse);
    setMask(shape);

    move(topLeft);
    show();
    raise();
    update();
}

void TMssgHint::hideHint()
{
    hide();
}

void TMssgHint::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect body = ellipseRect();

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(64, 64, 64));
    p.drawEllipse(body.translated(ShadowDepth, ShadowDepth));

    p.setBrush(palette().color(QPalette::ToolTipBase));
    p.setPen(QPen(QColor(96, 96, 96), 1));
    p.drawEllipse(body.adjusted(0, 0, -1, -1));

    // Sunken look: a light copy one pixel down-right under the text in the info-text colour.
    const int flags = Qt::AlignCenter;
    p.setPen(palette().color(QPalette::Light));
    p.drawText(body.translated(1, 1), flags, m_text);
    p.setPen(palette().color(QPalette::ToolTipText));
    p.drawText(body, flags, m_text);
}
