#include "common/logging.h"

Q_LOGGING_CATEGORY(lcApp, "boxvisor.app", QtWarningMsg)
Q_LOGGING_CATEGORY(lcBox, "boxvisor.box", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCapi, "boxvisor.capi", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCallNotify, "boxvisor.callnotify", QtWarningMsg)
Q_LOGGING_CATEGORY(lcOutlook, "boxvisor.outlook", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTimers, "boxvisor.timers", QtWarningMsg)
