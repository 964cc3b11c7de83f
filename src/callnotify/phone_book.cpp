#include "callnotify/phone_book.h"

#include "callnotify/number_notation.h"
#include "outlook/outlook_interface.h"
#include "outlook/vcard_contacts.h"

#include <exception>

namespace {
const QStringList numberProperties = {
    QStringLiteral("Business2TelephoneNumber"), QStringLiteral("BusinessFaxNumber"),
    QStringLiteral("BusinessTelephoneNumber"),  QStringLiteral("CompanyMainTelephoneNumber"),
    QStringLiteral("Home2TelephoneNumber"),     QStringLiteral("HomeFaxNumber"),
    QStringLiteral("HomeTelephoneNumber"),      QStringLiteral("ISDNNumber"),
    QStringLiteral("PrimaryTelephoneNumber")};

QStringList itemTexts(const QStringList &names)
{
    QStringList items;
    for (const QString &name : names)
        items.append(name == u"Birthday" || name == u"WebPage" ? name : name + u' ');
    return items;
}
} // namespace

const QStringList &PhoneBook::nameItems()
{
    static const QStringList items = itemTexts(contactPropertyNames());
    return items;
}

const QStringList &PhoneBook::numberItems()
{
    static const QStringList items = itemTexts(numberProperties);
    return items;
}

QString PhoneBook::nameProperty(int choice)
{
    const QStringList &names = contactPropertyNames();
    return choice >= 0 && choice < names.size() ? names[choice] : QStringLiteral("FirstName");
}

QString PhoneBook::numberProperty(int choice)
{
    return choice >= 0 && choice < numberProperties.size() ? numberProperties[choice]
                                                           : QStringLiteral("HomeTelephoneNumber");
}

void PhoneBook::ReadTelefonnumber(Outlook &outlook, int nameChoice, const QString &nameHeader,
                                  int numberChoice, const ImportProgress &progress)
{
    outlook.suspendConfirmation(false);
    const std::unique_ptr<ContactFolder> folder = outlook.openContacts();
    m_rows.clear();
    m_headers.clear();
    m_imported = false;
    m_notationKeys.clear();
    m_notationKeysValid = false;

    const int count = folder->count();
    if (progress.start)
        progress.start(count);
    const QString nameName = nameProperty(nameChoice);
    const QString numberName = numberProperty(numberChoice);
    for (int i = 1; i <= count; ++i) {
        PhoneBookRow row;
        row.index = QString::number(i);
        bool readable = true;
        try {
            row.name = folder->property(i, nameName);
            row.number = folder->property(i, numberName);
            row.fullName = folder->property(i, QStringLiteral("FullName"));
        } catch (const std::exception &) {
            // Not a contact (a distribution list): left out without a word.
            readable = false;
        }
        if (progress.setValue)
            progress.setValue(i);
        if (i == folder->count() && progress.hide)
            progress.hide();
        if (readable)
            m_rows.append(row);
    }
    m_headers = {QStringLiteral("Index"), nameHeader, QStringLiteral("Telefonnummer"),
                 QStringLiteral("e@Mail")};
    m_imported = true;
    if (m_matching == NumberMatching::AnyNotation)
        prepareNotationKeys(); // now rather than during the first call
    outlook.suspendConfirmation(true);
}

std::optional<PhoneBook::Match> PhoneBook::find(const QString &text) const
{
    std::optional<Match> match;
    if (text.isEmpty())
        return match;
    QString searchKey;
    if (m_matching == NumberMatching::AnyNotation) {
        prepareNotationKeys();
        searchKey = numberNotationKey(text);
    }
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        const PhoneBookRow &row = m_rows[i];
        const bool same = row.number == text || (!searchKey.isEmpty() && m_notationKeys[i] == searchKey);
        if (same)
            match = Match{text, prepareCallerName(row.name)}; // the last match wins
    }
    return match;
}

void PhoneBook::prepareNotationKeys() const
{
    if (m_notationKeysValid)
        return;
    m_notationKeys.clear();
    for (const PhoneBookRow &row : m_rows)
        m_notationKeys.append(numberNotationKey(row.number));
    m_notationKeysValid = true;
}

QString prepareCallerName(const QString &name)
{
    QString prepared = name;
    prepared.replace(u' ', QStringLiteral("%20"))
        .replace(QChar(0xE4), QStringLiteral("ae"))
        .replace(QChar(0xC4), QStringLiteral("AE"))
        .replace(QChar(0xFC), QStringLiteral("ue"))
        .replace(QChar(0xDC), QStringLiteral("UE"))
        .replace(QChar(0xF6), QStringLiteral("oe"))
        .replace(QChar(0xD6), QStringLiteral("OE"))
        .replace(QChar(0xDF), QStringLiteral("ss"))
        .replace(QStringLiteral("\r\n"), QStringLiteral(",%20"));
    return prepared;
}
