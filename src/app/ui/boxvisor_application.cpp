#include "app/ui/boxvisor_application.h"

#include <exception>

#include "common/error.h"
#include "common/logging.h"

BoxvisorApplication::BoxvisorApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    // Only the name: a display name would be appended to every window's caption.
    setApplicationName(QStringLiteral("Boxvisor"));
    setApplicationVersion(QStringLiteral("2.22"));
}

bool BoxvisorApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const BoxvisorError &e) {
        qCCritical(lcApp).noquote() << "unhandled error in an event handler:" << e.message();
    } catch (const std::exception &e) {
        qCCritical(lcApp) << "unhandled exception in an event handler:" << e.what();
    } catch (...) {
        qCCritical(lcApp) << "unhandled exception of unknown type in an event handler";
    }
    return false;
}
