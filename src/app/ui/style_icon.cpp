#include "app/ui/style_icon.h"

#include <QPixmap>
#include <QWidget>

QIcon standardIconAt(const QWidget *widget, QStyle::StandardPixmap which, const QSize &size)
{
    const QIcon full = widget->style()->standardIcon(which, nullptr, widget);
    // The pixmap the button would have asked the full icon for; other modes (disabled, active)
    // are derived from it by the style as before.
    return QIcon(full.pixmap(size, widget->devicePixelRatioF()));
}
