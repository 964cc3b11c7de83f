#include "outlook/vcard_outlook.h"

#include "common/error.h"
#include "outlook/vcard_contacts.h"
#include "outlook/vcard_reader.h"

#include <QFile>
#include <QFileInfo>

namespace {
// Far beyond any address book; keeps a wrongly chosen file (a film, a disk image) out of memory.
constexpr qint64 maxContactsFileSize = 64 * 1024 * 1024;

[[noreturn]] void noMail()
{
    throw BoxvisorError(
        QStringLiteral("E-Mail ist mit einer Kontaktdatei als Quelle nicht verfügbar (not available)."));
}
} // namespace

VCardOutlook::VCardOutlook(std::function<QString()> contactsFile) : m_contactsFile(std::move(contactsFile)) {}

bool VCardOutlook::isInstalled() const
{
    return m_contactsFile && !m_contactsFile().trimmed().isEmpty();
}

bool VCardOutlook::isRunning() const
{
    return isInstalled() && QFileInfo(m_contactsFile().trimmed()).isFile();
}

void VCardOutlook::connect()
{
    noMail();
}
void VCardOutlook::displayInbox()
{
    noMail();
}
int VCardOutlook::unreadItemCount()
{
    noMail();
}
int VCardOutlook::inboxItemCount()
{
    noMail();
}
MailItem VCardOutlook::inboxItem(int)
{
    noMail();
}
MailItem VCardOutlook::inboxItemById(const QString &)
{
    noMail();
}

std::unique_ptr<ContactFolder> VCardOutlook::openContacts()
{
    if (!isInstalled())
        throw BoxvisorError(QStringLiteral("Es ist keine Kontaktdatei eingerichtet."));
    const QString path = m_contactsFile().trimmed();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Die Kontaktdatei %1 kann nicht gelesen werden: %2")
                            .arg(path, file.errorString()));
    if (file.size() > maxContactsFileSize)
        throw FileError(
            QStringLiteral("Die Kontaktdatei %1 ist mit %2 Bytes zu groß.").arg(path).arg(file.size()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError(QStringLiteral("Die Kontaktdatei %1 kann nicht gelesen werden: %2")
                            .arg(path, file.errorString()));
    QList<VCard> cards = parseVCards(data);
    if (cards.isEmpty() && !data.trimmed().isEmpty())
        throw ParseError(
            QStringLiteral("Die Datei %1 enthält keine vCard-Kontakte (BEGIN:VCARD fehlt).").arg(path));
    return std::make_unique<VCardContactFolder>(std::move(cards));
}
