#pragma once

// The personal-information layer the program uses in place of Outlook's object model: whether a
// source is configured ("installed"), the contacts folder, the inbox and its events, reminders.
// Sources on Linux are a vCard file (contacts), an IMAP mailbox and an iCalendar file; until one
// is configured, NoOutlook answers "not installed" and every other call throws.
// Events arrive on the user-interface thread; every failure is thrown as BoxvisorError.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// The contacts folder: items in folder order, indexed from 1.
class ContactFolder
{
public:
    virtual ~ContactFolder() = default;
    virtual int count() const = 0;
    // A contact property by its Outlook name ("FullName", "BusinessTelephoneNumber", ...).
    // Throws when item index is not a contact (a distribution list) or the name is unknown.
    virtual QString property(int index, const QString &name) const = 0;
};

struct MailItem
{
    bool unRead = false;
    QString entryId;
    QDateTime receivedTime;
    QString senderName;
    QString subject;
    QString body;
    QStringList attachmentNames;
};

class Outlook
{
public:
    virtual ~Outlook() = default;

    // Class identifier of "Outlook.Application" found: a source is configured.
    virtual bool isInstalled() const = 0;
    // A top-level Outlook window exists: the source is reachable now.
    virtual bool isRunning() const = 0;

    // Application component: connect; then GetNamespace("MAPI"), Logon and GetDefaultFolder(6).
    virtual void connect() = 0;
    virtual void displayInbox() = 0;
    virtual int unreadItemCount() = 0;

    // GetDefaultFolder(10) of a new connection.
    virtual std::unique_ptr<ContactFolder> openContacts() = 0;

    // The mail component of the mail window: items by position (from 1) and by entry id.
    virtual int inboxItemCount() = 0;
    virtual MailItem inboxItem(int position) = 0;
    virtual MailItem inboxItemById(const QString &entryId) = 0;

    // The confirmation tool has no counterpart here; kept so callers mark their blocks.
    virtual void suspendConfirmation(bool) {}

    std::function<void()> OnNewMail;
    // The reminder's item as a short text.
    std::function<void(const QString &)> OnReminder;
};

// No source configured.
class NoOutlook final : public Outlook
{
public:
    bool isInstalled() const override { return false; }
    bool isRunning() const override { return false; }
    void connect() override;
    void displayInbox() override;
    int unreadItemCount() override;
    std::unique_ptr<ContactFolder> openContacts() override;
    int inboxItemCount() override;
    MailItem inboxItem(int) override;
    MailItem inboxItemById(const QString &) override;
};
