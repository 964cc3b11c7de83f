#pragma once

// The contacts source for Linux: a vCard file stands in for Outlook's contacts folder. A source
// counts as installed when a contacts file is configured; the file is read anew at every
// openContacts(), so an edited file shows at the next import. Mail operations are not offered
// by this source and throw.

#include "outlook/outlook_interface.h"

#include <functional>

class VCardOutlook final : public Outlook
{
public:
    // contactsFile is asked at every use (the live setting); empty means not configured.
    explicit VCardOutlook(std::function<QString()> contactsFile);

    bool isInstalled() const override;
    // The configured file exists.
    bool isRunning() const override;
    void connect() override;
    void displayInbox() override;
    int unreadItemCount() override;
    // Throws FileError naming the file when it cannot be read.
    std::unique_ptr<ContactFolder> openContacts() override;
    int inboxItemCount() override;
    MailItem inboxItem(int) override;
    MailItem inboxItemById(const QString &) override;

private:
    std::function<QString()> m_contactsFile;
};
