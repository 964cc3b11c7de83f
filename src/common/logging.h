#pragma once

// One logging category per subsystem, so that diagnostics can be switched on with
// QT_LOGGING_RULES="boxvisor.capi.debug=true" and tests stay quiet.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcBox)
Q_DECLARE_LOGGING_CATEGORY(lcCapi)
Q_DECLARE_LOGGING_CATEGORY(lcCallNotify)
Q_DECLARE_LOGGING_CATEGORY(lcOutlook)
Q_DECLARE_LOGGING_CATEGORY(lcTimers)
