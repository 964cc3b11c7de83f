#pragma once

#include <QDialog>

class ActivityLog;
class QPlainTextEdit;

// The log window: shows the activity log and follows it while hidden, so reopening it shows
// every line of the run.
class TFrmLog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFrmLog)

public:
    explicit TFrmLog(ActivityLog &log, QWidget *parent = nullptr);

    QPlainTextEdit *Memo1;
};
