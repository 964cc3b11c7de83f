#pragma once

#include <QDialog>

// Stands in for a window whose subsystem is not built yet: the right instance name and caption,
// and a line saying so, so that its navigation item opens something honest.
class PlaceholderDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlaceholderDialog)

public:
    PlaceholderDialog(const QString &instanceName, const QString &caption, QWidget *parent = nullptr);
};
