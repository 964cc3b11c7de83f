#include "app/ui/frm_log.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "common/activity_log.h"

TFrmLog::TFrmLog(ActivityLog &log, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmLog"));
    setWindowTitle(QStringLiteral("Log"));
    setFixedSize(719, 713);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont f = Memo1->font();
    f.setPixelSize(13);
    Memo1->setFont(f);
    Memo1->setPlainText(log.lines().join(QLatin1Char('\n')));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);

    connect(&log, &ActivityLog::lineAdded, Memo1, &QPlainTextEdit::appendPlainText);
}
