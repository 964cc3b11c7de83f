#pragma once

// Reading vCard files (versions 2.1, 3.0 and 4.0) into cards of decoded properties. Handles
// line folding, quoted-printable values with soft line breaks, per-property CHARSET parameters
// (UTF-8, Windows-1252, ISO-8859-1/-15 and whatever else Qt can decode), base64 values, the
// nameless type parameters of version 2.1 and the quoted and caret-escaped parameter values of
// 4.0. Damaged input never throws from here: unreadable lines are skipped and a card cut off at
// the end of the file keeps the properties read so far.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct VCardParameter
{
    QString name;       // upper case; "TYPE" for the nameless parameters of version 2.1
    QStringList values; // comma-separated values split up, quotes and escapes removed
};

struct VCardProperty
{
    QString group; // "item1" in "item1.TEL", as written
    QString name;  // upper case
    QList<VCardParameter> parameters;
    QString value; // transfer encoding and charset decoded; text escapes still in place

    // All values of the named parameter (upper-case name), upper-cased.
    QStringList parameterValues(const QString &parameterName) const;
    // The TYPE values plus, for 4.0, "PREF" when a PREF parameter is present.
    QStringList types() const;
    bool hasType(const QString &type) const { return types().contains(type); }

    // The value as one text: escapes ("\n", "\,", "\;", "\\") resolved, line breaks as CR LF.
    QString text() const;
    // The value split at unescaped ';' (N, ADR, ORG), each component unescaped as text().
    QStringList components() const;
};

struct VCard
{
    QString version; // as written in VERSION, empty when missing
    QList<VCardProperty> properties;

    // The first property of that name (upper case), or nullptr.
    const VCardProperty *first(const QString &name) const;
    QList<const VCardProperty *> all(const QString &name) const;
};

// Every BEGIN:VCARD ... END:VCARD block of data, in file order (nested cards, such as the
// AGENT of version 2.1, are skipped; a card without its END ends at the next BEGIN).
QList<VCard> parseVCards(const QByteArray &data);

// Decodes bytes in the named charset; an unknown name falls back to UTF-8 when the bytes are
// valid UTF-8, else to Windows-1252.
QString decodeCharset(const QByteArray &bytes, const QString &charset);
