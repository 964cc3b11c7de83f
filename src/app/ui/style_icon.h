#pragma once

#include <QIcon>
#include <QSize>
#include <QStyle>

class QWidget;

// The style's standard icon as it is drawn at `size` on widget's screen, and nothing more.
// The style's own icon holds every size it ships (up to 128 pixels) as decoded pictures for as
// long as the icon lives; a button only ever draws one of them.
QIcon standardIconAt(const QWidget *widget, QStyle::StandardPixmap which, const QSize &size);
