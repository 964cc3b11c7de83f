#pragma once

// The phone book: the contacts of the Outlook source as rows of index, caller name, number and
// full name, the search that turns a calling number into the caller's number and name for the
// TV message, and the preparation of that name for the message query. It owns only the rows;
// the window that shows them (ui/frm_tel_book.h) and the announcement (call_handler.h) use it.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Outlook;

// One contact as the grid shows it, every cell as text.
struct PhoneBookRow
{
    QString index;    // position in the contacts folder, from 1
    QString name;     // the property chosen as the caller's name
    QString number;   // the property chosen as the number, exactly as stored
    QString fullName; // FullName (the mail filter reads it)
};

// Exact: same characters only. AnyNotation: also other notations of the same number.
enum class NumberMatching
{
    Exact,
    AnyNotation
};

// The main window's progress bar during an import; unset members are skipped.
struct ImportProgress
{
    std::function<void(int maximum)> start; // set the maximum and show
    std::function<void(int value)> setValue;
    std::function<void()> hide;
};

class PhoneBook
{
public:
    struct Match
    {
        QString number; // the number as searched (delivered by the call), not the stored notation
        QString name;   // prepared for the message query
    };

    // Item texts of the two property choices: each name followed by one blank, except
    // "Birthday" and "WebPage".
    static const QStringList &nameItems();
    static const QStringList &numberItems();
    // The property read for a choice; an invalid choice reads FirstName / HomeTelephoneNumber.
    static QString nameProperty(int choice);
    static QString numberProperty(int choice);

    // Imports every contact of outlook's contacts folder. nameHeader is the name column's
    // header (the chosen item's text). A contact that cannot be read is left out; an error
    // before the first contact (no source, unreadable file) is thrown, and when it comes after
    // the rows were cleared the book stays empty.
    void ReadTelefonnumber(Outlook &outlook, int nameChoice, const QString &nameHeader, int numberChoice,
                           const ImportProgress &progress = {});

    // False until the first import has finished.
    bool isImported() const { return m_imported; }
    // The header texts: "Index", the name header, "Telefonnummer", "e@Mail".
    const QStringList &headers() const { return m_headers; }
    const QList<PhoneBookRow> &rows() const { return m_rows; }

    NumberMatching matching() const { return m_matching; }
    void setMatching(NumberMatching matching) { m_matching = matching; }

    // The last row whose number equals text (and, with AnyNotation, whose number is another
    // notation of it); an empty text or number never matches.
    std::optional<Match> find(const QString &text) const;

private:
    void prepareNotationKeys() const;

    QList<PhoneBookRow> m_rows;
    QStringList m_headers;
    bool m_imported = false;
    NumberMatching m_matching = NumberMatching::Exact;
    // Each row's number in canonical form, made at the first search by notation after an
    // import: a call then parses one number instead of the whole book.
    mutable QStringList m_notationKeys;
    mutable bool m_notationKeysValid = false;
};

// The caller's name made ready for the message query: blank -> "%20", umlauts and "ß"
// transliterated (case kept), CR LF -> ",%20".
QString prepareCallerName(const QString &name);
