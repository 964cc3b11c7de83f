#include "outlook/outlook_interface.h"

#include "common/error.h"

namespace {
[[noreturn]] void notInstalled()
{
    throw BoxvisorError(QStringLiteral("Outlook ist nicht installiert (keine Quelle eingerichtet)."));
}
} // namespace

void NoOutlook::connect() { notInstalled(); }
void NoOutlook::displayInbox() { notInstalled(); }
int NoOutlook::unreadItemCount() { notInstalled(); }
std::unique_ptr<ContactFolder> NoOutlook::openContacts() { notInstalled(); }
int NoOutlook::inboxItemCount() { notInstalled(); }
MailItem NoOutlook::inboxItem(int) { notInstalled(); }
MailItem NoOutlook::inboxItemById(const QString &) { notInstalled(); }
