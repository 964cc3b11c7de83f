#include "extras/ui/fly_text.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>

FlyText::FlyText(QString text, QWidget *parent) : QWidget(parent), m_text(std::move(text))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(m_text);
}

void FlyText::paintEvent(QPaintEvent *)
{
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(40);
    QPainterPath path;
    path.addText(0, 0, f, m_text);
    const QRectF source = path.boundingRect();
    if (source.isEmpty())
        return;

    // Keep the letters' proportions: the near (bottom) edge gets the full width, the height
    // follows from the text's own aspect, a little taller for the tilt.
    const QRectF area = QRectF(rect()).adjusted(2, 2, -5, -5);
    const qreal height = std::min(area.height(), area.width() * source.height() / source.width() * 1.6);
    const QRectF target(area.left(), area.center().y() - height / 2, area.width(), height);
    const qreal inset = target.width() * 0.12;
    const QPolygonF from({source.topLeft(), source.topRight(), source.bottomRight(), source.bottomLeft()});
    const QPolygonF to({target.topLeft() + QPointF(inset, 0), target.topRight() - QPointF(inset, 0),
                        target.bottomRight(), target.bottomLeft()});
    QTransform transform;
    if (!QTransform::quadToQuad(from, to, transform))
        return;

    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath flying = transform.map(path);
    QLinearGradient fill(target.topLeft(), target.bottomLeft());
    fill.setColorAt(0, QColor(0xFF, 0xE0, 0x40));
    fill.setColorAt(1, QColor(0xD0, 0x20, 0x20));
    p.fillPath(flying.translated(3, 3), QColor(0x40, 0x40, 0x80, 0x90)); // shadow
    p.fillPath(flying, fill);
    p.strokePath(flying, QPen(QColor(0x60, 0x10, 0x10), 1));
}
