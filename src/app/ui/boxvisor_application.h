#pragma once

#include <QApplication>

// The program's application object. Every handler already runs through the error box; this is
// only the last net for an exception that escapes an event anyway: it is logged, not shown.
class BoxvisorApplication final : public QApplication
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoxvisorApplication)

public:
    BoxvisorApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
