#pragma once

// Contacts read from a vCard file, offered under Outlook's contact property names. The mapping
// of each name onto vCard fields is documented beside contactProperty() in vcard_contacts.cpp;
// names with no vCard counterpart read as empty text. A group entry (a list of other contacts)
// has none of the properties: asking it for one throws, as Outlook does for a distribution list.

#include "outlook/outlook_interface.h"
#include "outlook/vcard_reader.h"

#include <QList>
#include <QString>
#include <QStringList>

// The 65 contact property names the phone book offers, in its order.
const QStringList &contactPropertyNames();

// KIND:group (4.0), X-ADDRESSBOOKSERVER-KIND:group (3.0 address-book servers),
// X-EVOLUTION-LIST:TRUE, or a card that lists members.
bool isContactGroup(const VCard &card);

// The named property of card as text. Throws BoxvisorError for a group entry or a name that is
// not one of contactPropertyNames().
QString contactProperty(const VCard &card, const QString &name);

class VCardContactFolder final : public ContactFolder
{
public:
    explicit VCardContactFolder(QList<VCard> cards) : m_cards(std::move(cards)) {}
    int count() const override { return static_cast<int>(m_cards.size()); }
    // index from 1; throws for an index outside the folder.
    QString property(int index, const QString &name) const override;

private:
    QList<VCard> m_cards;
};
