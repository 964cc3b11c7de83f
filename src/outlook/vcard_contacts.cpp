#include "outlook/vcard_contacts.h"

#include "common/error.h"

#include <QDate>
#include <QLocale>

#include <functional>
#include <QHash>

// How each Outlook contact property is found in a vCard:
//
//   Names      FullName = FN, else prefix, given, additional names, family name and suffix of N
//              joined by blanks; LastName, FirstName, MiddleName, Title, Suffix = N components
//              0, 1, 2, 3 (honorific prefix), 4; LastNameAndFirstName = "Last, First";
//              Initials = the first letters of first, middle and last name, each with ".";
//              NickName = NICKNAME.
//   Company    CompanyName = ORG component 0, Department = ORG component 1, JobTitle = TITLE,
//              Profession = ROLE; CompanyAndFullName = "Company (FullName)",
//              FullNameAndCompany = "FullName (Company)" (either part alone when the other is
//              empty).
//   Telephone  a TEL's kind comes from its types (TYPE=..., the bare types of 2.1, PREF):
//              BusinessTelephoneNumber / Business2... = first / second TEL typed WORK that is no
//              fax, mobile, pager, car, ISDN or main number; HomeTelephoneNumber / Home2... the
//              same with HOME; BusinessFaxNumber = FAX with WORK; HomeFaxNumber = FAX with HOME;
//              CompanyMainTelephoneNumber = MAIN or X-COMPANY-MAIN; ISDNNumber = ISDN;
//              PrimaryTelephoneNumber = the first TEL marked PREF, else the first TEL without
//              any type (or only VOICE). A "tel:" URI (4.0) loses its scheme; numbers are
//              otherwise returned exactly as written. Empty TEL lines are not counted.
//   Addresses  Business* = ADR typed WORK, Home* = ADR typed HOME, Mailing* = ADR typed
//              POSTAL or PREF, else the first ADR. ...PostOfficeBox, ...Street (extended
//              address and street, one line each), ...City, ...State, ...PostalCode, ...Country
//              = ADR components 0, 1+2, 3, 4, 5, 6. The whole address (BusinessAddress, ...) is
//              the ADR's LABEL parameter (4.0), else a LABEL property of the same type (2.1,
//              3.0), else the lines street, post office box, "postal code city", state, country.
//   Mail       Email1/2/3Address = the non-empty EMAILs in file order, those marked PREF first;
//              ...AddressType = "SMTP" for a present address; ...DisplayName =
//              "FullName (address)" (the address alone without a full name).
//   Web        BusinessHomePage = URL typed WORK, PersonalHomePage = URL typed HOME,
//              WebPage = BusinessHomePage, else the first URL; FTPSite = the first "ftp://" URL.
//   Other      Birthday = BDAY as a date in the system's short format (the text as written
//              when it is no full date); Language = LANG; Hobby = HOBBY (vCard 4.0 extension).
//   No field   ComputerNetworkName, GovernmentIDNumber, OfficeLocation and
//              OrganizationalIDNumber have no vCard counterpart and read as empty.
//
// Multi-line values come back with CR LF line breaks, as Outlook gives them.

namespace {

QString joinNonEmpty(const QStringList &parts, const QString &separator)
{
    QStringList kept;
    for (const QString &part : parts) {
        const QString trimmed = part.trimmed();
        if (!trimmed.isEmpty())
            kept.append(trimmed);
    }
    return kept.join(separator);
}

QString component(const VCardProperty *property, int index)
{
    if (!property)
        return {};
    const QStringList parts = property->components();
    return index < parts.size() ? parts[index].trimmed() : QString();
}

QString textOf(const VCardProperty *property)
{
    return property ? property->text().trimmed() : QString();
}

// --- telephone numbers

bool isSpecialLine(const QStringList &types)
{
    static const QStringList special = {QStringLiteral("FAX"),
                                        QStringLiteral("CELL"),
                                        QStringLiteral("PAGER"),
                                        QStringLiteral("CAR"),
                                        QStringLiteral("ISDN"),
                                        QStringLiteral("MAIN"),
                                        QStringLiteral("X-COMPANY-MAIN"),
                                        QStringLiteral("MODEM"),
                                        QStringLiteral("BBS"),
                                        QStringLiteral("VIDEO"),
                                        QStringLiteral("TEXTPHONE")};
    for (const QString &type : types) {
        if (special.contains(type))
            return true;
    }
    return false;
}

QString telNumber(const VCardProperty *tel)
{
    QString number = tel->text().trimmed();
    if (number.startsWith(u"tel:", Qt::CaseInsensitive))
        number = number.mid(4);
    return number;
}

// Empty TEL lines (some exporters write one per unused field) are no numbers: they must not
// hide a real number of the same kind written after them.
QString nthTel(const VCard &card, const std::function<bool(const QStringList &)> &wanted, int n)
{
    for (const VCardProperty *tel : card.all(QStringLiteral("TEL"))) {
        if (!wanted(tel->types()))
            continue;
        const QString number = telNumber(tel);
        if (!number.isEmpty() && n-- == 0)
            return number;
    }
    return {};
}

QString voiceTel(const VCard &card, const QString &place, int n)
{
    return nthTel(
        card, [&](const QStringList &t) { return t.contains(place) && !isSpecialLine(t); }, n);
}

QString primaryTel(const VCard &card)
{
    const QString preferred = nthTel(
        card, [](const QStringList &t) { return t.contains(u"PREF"); }, 0);
    if (!preferred.isEmpty())
        return preferred;
    return nthTel(
        card,
        [](const QStringList &t) {
            for (const QString &type : t) {
                if (type != u"VOICE")
                    return false;
            }
            return true;
        },
        0);
}

// --- addresses

enum class Place
{
    Business,
    Home,
    Mailing
};

const VCardProperty *address(const VCard &card, Place place)
{
    const QList<const VCardProperty *> all = card.all(QStringLiteral("ADR"));
    for (const VCardProperty *adr : all) {
        const QStringList types = adr->types();
        if ((place == Place::Business && types.contains(u"WORK")) ||
            (place == Place::Home && types.contains(u"HOME")) ||
            (place == Place::Mailing && (types.contains(u"POSTAL") || types.contains(u"PREF"))))
            return adr;
    }
    return place == Place::Mailing && !all.isEmpty() ? all.first() : nullptr;
}

QString street(const VCardProperty *adr)
{
    return joinNonEmpty({component(adr, 1), component(adr, 2)}, QStringLiteral("\r\n"));
}

QStringList placeTypes(const QStringList &types)
{
    QStringList places;
    for (const QString &type : types) {
        if (type == u"WORK" || type == u"HOME")
            places.append(type);
    }
    places.sort();
    return places;
}

QString wholeAddress(const VCard &card, const VCardProperty *adr)
{
    if (!adr)
        return {};
    for (const VCardParameter &parameter : adr->parameters) {
        if (parameter.name == u"LABEL") {
            const QString label = parameter.values.join(u',').trimmed();
            if (!label.isEmpty()) {
                VCardProperty asText;
                asText.value = label;
                return asText.text();
            }
        }
    }
    const QStringList places = placeTypes(adr->types());
    if (!places.isEmpty()) {
        for (const VCardProperty *label : card.all(QStringLiteral("LABEL"))) {
            if (placeTypes(label->types()) == places && !textOf(label).isEmpty())
                return textOf(label);
        }
    }
    const QString cityLine = joinNonEmpty({component(adr, 5), component(adr, 3)}, QStringLiteral(" "));
    return joinNonEmpty({street(adr), component(adr, 0), cityLine, component(adr, 4), component(adr, 6)},
                        QStringLiteral("\r\n"));
}

// --- names, mail, web

const VCardProperty *nameProperty(const VCard &card)
{
    return card.first(QStringLiteral("N"));
}

QString fullName(const VCard &card)
{
    const QString fn = textOf(card.first(QStringLiteral("FN")));
    if (!fn.isEmpty())
        return fn;
    const VCardProperty *n = nameProperty(card);
    return joinNonEmpty({component(n, 3), component(n, 1), component(n, 2), component(n, 0), component(n, 4)},
                        QStringLiteral(" "));
}

QString initials(const VCard &card)
{
    const VCardProperty *n = nameProperty(card);
    QString out;
    for (const int index : {1, 2, 0}) {
        const QString part = component(n, index);
        if (!part.isEmpty())
            out += part.left(1) + u'.';
    }
    return out;
}

QString withParenthesis(const QString &first, const QString &second)
{
    if (first.isEmpty())
        return second;
    if (second.isEmpty())
        return first;
    return first + QStringLiteral(" (") + second + u')';
}

QString email(const VCard &card, int n)
{
    QList<const VCardProperty *> ordered;
    QList<const VCardProperty *> others;
    for (const VCardProperty *mail : card.all(QStringLiteral("EMAIL"))) {
        if (!textOf(mail).isEmpty())
            (mail->hasType(QStringLiteral("PREF")) ? ordered : others).append(mail);
    }
    ordered.append(others);
    return n < ordered.size() ? textOf(ordered[n]) : QString();
}

QString emailType(const VCard &card, int n)
{
    return email(card, n).isEmpty() ? QString() : QStringLiteral("SMTP");
}

QString emailDisplayName(const VCard &card, int n)
{
    const QString addressText = email(card, n);
    if (addressText.isEmpty())
        return {};
    const QString name = fullName(card);
    return name.isEmpty() ? addressText : name + QStringLiteral(" (") + addressText + u')';
}

QString url(const VCard &card, const std::function<bool(const VCardProperty &)> &wanted)
{
    for (const VCardProperty *property : card.all(QStringLiteral("URL"))) {
        if (wanted(*property) && !textOf(property).isEmpty())
            return textOf(property);
    }
    return {};
}

QString typedUrl(const VCard &card, const QString &type)
{
    return url(card, [&](const VCardProperty &p) { return p.hasType(type); });
}

QString birthday(const VCard &card)
{
    const QString text = textOf(card.first(QStringLiteral("BDAY")));
    if (text.isEmpty())
        return {};
    const QString datePart = text.left(text.indexOf(u'T') < 0 ? text.size() : text.indexOf(u'T'));
    QDate date = QDate::fromString(datePart, Qt::ISODate);
    if (!date.isValid())
        date = QDate::fromString(datePart, QStringLiteral("yyyyMMdd"));
    return date.isValid() ? QLocale::system().toString(date, QLocale::ShortFormat) : text;
}

QString allTexts(const VCard &card, const QString &name)
{
    QStringList texts;
    for (const VCardProperty *property : card.all(name))
        texts.append(textOf(property));
    return joinNonEmpty(texts, QStringLiteral(", "));
}

using Reader = std::function<QString(const VCard &)>;

Reader addressPart(Place place, int componentIndex)
{
    return [place, componentIndex](const VCard &c) { return component(address(c, place), componentIndex); };
}

const QHash<QString, Reader> &readers()
{
    static const QHash<QString, Reader> table = [] {
        QHash<QString, Reader> t;
        const auto empty = [](const VCard &) { return QString(); };
        const auto n = [](int index) {
            return [index](const VCard &c) { return component(nameProperty(c), index); };
        };
        const auto org = [](int index) {
            return [index](const VCard &c) { return component(c.first(QStringLiteral("ORG")), index); };
        };
        const auto tel = [](const QString &type) {
            return [type](const VCard &c) {
                return nthTel(
                    c, [&](const QStringList &t) { return t.contains(type); }, 0);
            };
        };
        const auto fax = [](const QString &place) {
            return [place](const VCard &c) {
                return nthTel(
                    c, [&](const QStringList &t) { return t.contains(u"FAX") && t.contains(place); }, 0);
            };
        };
        const auto addresses = [&t](const QString &prefix, Place place) {
            t[prefix] = [place](const VCard &c) { return wholeAddress(c, address(c, place)); };
            t[prefix + QStringLiteral("City")] = addressPart(place, 3);
            t[prefix + QStringLiteral("Country")] = addressPart(place, 6);
            t[prefix + QStringLiteral("PostalCode")] = addressPart(place, 5);
            t[prefix + QStringLiteral("PostOfficeBox")] = addressPart(place, 0);
            t[prefix + QStringLiteral("State")] = addressPart(place, 4);
            t[prefix + QStringLiteral("Street")] = [place](const VCard &c) {
                return street(address(c, place));
            };
        };

        t[QStringLiteral("Birthday")] = birthday;
        t[QStringLiteral("Business2TelephoneNumber")] = [](const VCard &c) {
            return voiceTel(c, QStringLiteral("WORK"), 1);
        };
        addresses(QStringLiteral("BusinessAddress"), Place::Business);
        t[QStringLiteral("BusinessFaxNumber")] = fax(QStringLiteral("WORK"));
        t[QStringLiteral("BusinessHomePage")] = [](const VCard &c) {
            return typedUrl(c, QStringLiteral("WORK"));
        };
        t[QStringLiteral("BusinessTelephoneNumber")] = [](const VCard &c) {
            return voiceTel(c, QStringLiteral("WORK"), 0);
        };
        t[QStringLiteral("CompanyAndFullName")] = [](const VCard &c) {
            return withParenthesis(component(c.first(QStringLiteral("ORG")), 0), fullName(c));
        };
        t[QStringLiteral("CompanyMainTelephoneNumber")] = [](const VCard &c) {
            return nthTel(
                c, [](const QStringList &t) { return t.contains(u"MAIN") || t.contains(u"X-COMPANY-MAIN"); },
                0);
        };
        t[QStringLiteral("CompanyName")] = org(0);
        t[QStringLiteral("ComputerNetworkName")] = empty;
        t[QStringLiteral("Department")] = org(1);
        for (int i = 0; i < 3; ++i) {
            const QString prefix = QStringLiteral("Email%1").arg(i + 1);
            t[prefix + QStringLiteral("Address")] = [i](const VCard &c) { return email(c, i); };
            t[prefix + QStringLiteral("AddressType")] = [i](const VCard &c) { return emailType(c, i); };
            t[prefix + QStringLiteral("DisplayName")] = [i](const VCard &c) {
                return emailDisplayName(c, i);
            };
        }
        t[QStringLiteral("FirstName")] = n(1);
        t[QStringLiteral("FTPSite")] = [](const VCard &c) {
            return url(c, [](const VCardProperty &p) {
                return p.text().trimmed().startsWith(u"ftp://", Qt::CaseInsensitive);
            });
        };
        t[QStringLiteral("FullName")] = fullName;
        t[QStringLiteral("FullNameAndCompany")] = [](const VCard &c) {
            return withParenthesis(fullName(c), component(c.first(QStringLiteral("ORG")), 0));
        };
        t[QStringLiteral("GovernmentIDNumber")] = empty;
        t[QStringLiteral("Hobby")] = [](const VCard &c) { return allTexts(c, QStringLiteral("HOBBY")); };
        t[QStringLiteral("Home2TelephoneNumber")] = [](const VCard &c) {
            return voiceTel(c, QStringLiteral("HOME"), 1);
        };
        addresses(QStringLiteral("HomeAddress"), Place::Home);
        t[QStringLiteral("HomeFaxNumber")] = fax(QStringLiteral("HOME"));
        t[QStringLiteral("HomeTelephoneNumber")] = [](const VCard &c) {
            return voiceTel(c, QStringLiteral("HOME"), 0);
        };
        t[QStringLiteral("Initials")] = initials;
        t[QStringLiteral("ISDNNumber")] = tel(QStringLiteral("ISDN"));
        t[QStringLiteral("JobTitle")] = [](const VCard &c) {
            return textOf(c.first(QStringLiteral("TITLE")));
        };
        t[QStringLiteral("Language")] = [](const VCard &c) { return allTexts(c, QStringLiteral("LANG")); };
        t[QStringLiteral("LastName")] = n(0);
        t[QStringLiteral("LastNameAndFirstName")] = [](const VCard &c) {
            return joinNonEmpty({component(nameProperty(c), 0), component(nameProperty(c), 1)},
                                QStringLiteral(", "));
        };
        addresses(QStringLiteral("MailingAddress"), Place::Mailing);
        t[QStringLiteral("MiddleName")] = n(2);
        t[QStringLiteral("NickName")] = [](const VCard &c) {
            return textOf(c.first(QStringLiteral("NICKNAME")));
        };
        t[QStringLiteral("OfficeLocation")] = empty;
        t[QStringLiteral("OrganizationalIDNumber")] = empty;
        t[QStringLiteral("PersonalHomePage")] = [](const VCard &c) {
            return typedUrl(c, QStringLiteral("HOME"));
        };
        t[QStringLiteral("PrimaryTelephoneNumber")] = primaryTel;
        t[QStringLiteral("Profession")] = [](const VCard &c) {
            return textOf(c.first(QStringLiteral("ROLE")));
        };
        t[QStringLiteral("Suffix")] = n(4);
        t[QStringLiteral("Title")] = n(3);
        t[QStringLiteral("WebPage")] = [](const VCard &c) {
            const QString business = typedUrl(c, QStringLiteral("WORK"));
            return business.isEmpty() ? url(c, [](const VCardProperty &) { return true; }) : business;
        };
        return t;
    }();
    return table;
}

} // namespace

const QStringList &contactPropertyNames()
{
    static const QStringList names = {
        QStringLiteral("Birthday"),
        QStringLiteral("Business2TelephoneNumber"),
        QStringLiteral("BusinessAddress"),
        QStringLiteral("BusinessAddressCity"),
        QStringLiteral("BusinessAddressCountry"),
        QStringLiteral("BusinessAddressPostalCode"),
        QStringLiteral("BusinessAddressPostOfficeBox"),
        QStringLiteral("BusinessAddressState"),
        QStringLiteral("BusinessAddressStreet"),
        QStringLiteral("BusinessFaxNumber"),
        QStringLiteral("BusinessHomePage"),
        QStringLiteral("BusinessTelephoneNumber"),
        QStringLiteral("CompanyAndFullName"),
        QStringLiteral("CompanyMainTelephoneNumber"),
        QStringLiteral("CompanyName"),
        QStringLiteral("ComputerNetworkName"),
        QStringLiteral("Department"),
        QStringLiteral("Email1Address"),
        QStringLiteral("Email1AddressType"),
        QStringLiteral("Email1DisplayName"),
        QStringLiteral("Email2Address"),
        QStringLiteral("Email2AddressType"),
        QStringLiteral("Email2DisplayName"),
        QStringLiteral("Email3Address"),
        QStringLiteral("Email3AddressType"),
        QStringLiteral("Email3DisplayName"),
        QStringLiteral("FirstName"),
        QStringLiteral("FTPSite"),
        QStringLiteral("FullName"),
        QStringLiteral("FullNameAndCompany"),
        QStringLiteral("GovernmentIDNumber"),
        QStringLiteral("Hobby"),
        QStringLiteral("Home2TelephoneNumber"),
        QStringLiteral("HomeAddress"),
        QStringLiteral("HomeAddressCity"),
        QStringLiteral("HomeAddressCountry"),
        QStringLiteral("HomeAddressPostalCode"),
        QStringLiteral("HomeAddressPostOfficeBox"),
        QStringLiteral("HomeAddressState"),
        QStringLiteral("HomeAddressStreet"),
        QStringLiteral("HomeFaxNumber"),
        QStringLiteral("HomeTelephoneNumber"),
        QStringLiteral("Initials"),
        QStringLiteral("ISDNNumber"),
        QStringLiteral("JobTitle"),
        QStringLiteral("Language"),
        QStringLiteral("LastName"),
        QStringLiteral("LastNameAndFirstName"),
        QStringLiteral("MailingAddress"),
        QStringLiteral("MailingAddressCity"),
        QStringLiteral("MailingAddressCountry"),
        QStringLiteral("MailingAddressPostalCode"),
        QStringLiteral("MailingAddressPostOfficeBox"),
        QStringLiteral("MailingAddressState"),
        QStringLiteral("MailingAddressStreet"),
        QStringLiteral("MiddleName"),
        QStringLiteral("NickName"),
        QStringLiteral("OfficeLocation"),
        QStringLiteral("OrganizationalIDNumber"),
        QStringLiteral("PersonalHomePage"),
        QStringLiteral("PrimaryTelephoneNumber"),
        QStringLiteral("Profession"),
        QStringLiteral("Suffix"),
        QStringLiteral("Title"),
        QStringLiteral("WebPage"),
    };
    return names;
}

bool isContactGroup(const VCard &card)
{
    const auto valueIs = [&](const QString &name, const QString &value) {
        for (const VCardProperty *property : card.all(name)) {
            if (property->text().trimmed().compare(value, Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    };
    return valueIs(QStringLiteral("KIND"), QStringLiteral("group")) ||
           valueIs(QStringLiteral("X-ADDRESSBOOKSERVER-KIND"), QStringLiteral("group")) ||
           valueIs(QStringLiteral("X-EVOLUTION-LIST"), QStringLiteral("TRUE")) ||
           card.first(QStringLiteral("MEMBER")) || card.first(QStringLiteral("X-ADDRESSBOOKSERVER-MEMBER"));
}

QString contactProperty(const VCard &card, const QString &name)
{
    const auto &table = readers();
    const auto reader = table.find(name);
    if (reader == table.end())
        throw BoxvisorError(QStringLiteral("Unbekannte Kontakteigenschaft \"%1\".").arg(name));
    if (isContactGroup(card)) {
        throw BoxvisorError(
            QStringLiteral("Der Eintrag \"%1\" ist eine Verteilerliste und hat keine Eigenschaft %2.")
                .arg(textOf(card.first(QStringLiteral("FN"))), name));
    }
    return reader.value()(card);
}

QString VCardContactFolder::property(int index, const QString &name) const
{
    if (index < 1 || index > m_cards.size())
        throw BoxvisorError(QStringLiteral("Den Kontakt Nummer %1 gibt es nicht (%2 Kontakte).")
                                .arg(index)
                                .arg(m_cards.size()));
    return contactProperty(m_cards[index - 1], name);
}
