#include "extras/ui/link_label.h"

#include <QDesktopServices>
#include <QMouseEvent>

LinkLabel::LinkLabel(const QString &text, QUrl url, QWidget *parent)
    : QLabel(text, parent), m_url(std::move(url))
{
    QFont f = font();
    f.setBold(true);
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
}

// Taking the press keeps it from reaching the window below, where a click closes the window.
void LinkLabel::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        QDesktopServices::openUrl(m_url);
}
