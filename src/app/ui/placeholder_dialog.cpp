#include "app/ui/placeholder_dialog.h"

#include <QLabel>
#include <QVBoxLayout>

PlaceholderDialog::PlaceholderDialog(const QString &instanceName, const QString &caption, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(instanceName);
    setWindowTitle(caption);
    auto *layout = new QVBoxLayout(this);
    auto *note = new QLabel(QStringLiteral("Dieses Fenster ist noch nicht verfügbar."), this);
    note->setAlignment(Qt::AlignCenter);
    layout->addWidget(note);
    resize(360, 160);
}
