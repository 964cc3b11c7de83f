#include "outlook/vcard_reader.h"

#include "common/windows1252.h"

#include <QStringDecoder>

namespace {

QString fromLatin9(const QByteArray &bytes)
{
    QString out = QString::fromLatin1(bytes);
    for (QChar &ch : out) {
        switch (ch.unicode()) {
        case 0xA4:
            ch = QChar(0x20AC);
            break;
        case 0xA6:
            ch = QChar(0x0160);
            break;
        case 0xA8:
            ch = QChar(0x0161);
            break;
        case 0xB4:
            ch = QChar(0x017D);
            break;
        case 0xB8:
            ch = QChar(0x017E);
            break;
        case 0xBC:
            ch = QChar(0x0152);
            break;
        case 0xBD:
            ch = QChar(0x0153);
            break;
        case 0xBE:
            ch = QChar(0x0178);
            break;
        default:
            break;
        }
    }
    return out;
}

bool decodeUtf8(const QByteArray &bytes, QString &out)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    out = decoder.decode(bytes);
    return !decoder.hasError();
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size()) {
            const int hi = hexValue(in[i + 1]);
            const int lo = hexValue(in[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.append(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        // A stray '=' (also a soft break left at the very end) is kept as it is.
        if (!(in[i] == '=' && i == in.size() - 1))
            out.append(in[i]);
    }
    return out;
}

QList<QByteArray> splitPhysicalLines(const QByteArray &data)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data[i] == '\r' || data[i] == '\n') {
            lines.append(data.mid(start, i - start));
            if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < data.size())
        lines.append(data.mid(start));
    return lines;
}

// Position of the first unquoted ':' (the end of name and parameters), or -1.
qsizetype headEnd(const QByteArray &line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i;
    }
    return -1;
}

bool isQuotedPrintable(const QByteArray &line)
{
    const qsizetype end = headEnd(line);
    return end > 0 && line.left(end).toUpper().contains("QUOTED-PRINTABLE");
}

// Splits at sep outside double quotes.
QList<QByteArray> splitOutsideQuotes(const QByteArray &text, char sep)
{
    QList<QByteArray> parts;
    QByteArray current;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;
        if (c == sep && !quoted) {
            parts.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    parts.append(current);
    return parts;
}

QString headerText(const QByteArray &bytes)
{
    QString text;
    return decodeUtf8(bytes, text) ? text : decodeCp1252(bytes);
}

// Removes quotes and resolves the caret escapes of parameter values (^n, ^^, ^').
QString parameterValue(const QByteArray &raw)
{
    QByteArray unquoted;
    for (const char c : raw) {
        if (c != '"')
            unquoted.append(c);
    }
    const QString text = headerText(unquoted);
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'^' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u'n' || next == u'N') {
                out.append(u'\n');
                ++i;
                continue;
            }
            if (next == u'^') {
                out.append(u'^');
                ++i;
                continue;
            }
            if (next == u'\'') {
                out.append(u'"');
                ++i;
                continue;
            }
        }
        out.append(text[i]);
    }
    return out;
}

bool isEncodingName(const QString &upper)
{
    return upper == u"QUOTED-PRINTABLE" || upper == u"BASE64" || upper == u"8BIT" || upper == u"7BIT";
}

bool parseProperty(const QByteArray &line, VCardProperty &property)
{
    const qsizetype end = headEnd(line);
    if (end <= 0)
        return false;
    const QList<QByteArray> head = splitOutsideQuotes(line.left(end), ';');
    QString name = headerText(head.first()).trimmed();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0) {
        property.group = name.left(dot);
        name = name.mid(dot + 1);
    }
    if (name.isEmpty())
        return false;
    property.name = name.toUpper();

    for (qsizetype i = 1; i < head.size(); ++i) {
        const QByteArray &raw = head[i];
        if (raw.trimmed().isEmpty())
            continue;
        VCardParameter parameter;
        const qsizetype eq = raw.indexOf('=');
        if (eq < 0) {
            // Version 2.1 writes types and the encoding without a parameter name.
            const QString value = headerText(raw).trimmed();
            parameter.name =
                isEncodingName(value.toUpper()) ? QStringLiteral("ENCODING") : QStringLiteral("TYPE");
            parameter.values.append(value);
        } else {
            parameter.name = headerText(raw.left(eq)).trimmed().toUpper();
            // A quoted type list ("voice,home") is still a list; other quoted values (a
            // LABEL) keep their commas.
            const QByteArray rawValue = raw.mid(eq + 1);
            const QList<QByteArray> parts =
                parameter.name == u"TYPE" ? rawValue.split(',') : splitOutsideQuotes(rawValue, ',');
            for (const QByteArray &part : parts)
                parameter.values.append(parameterValue(part.trimmed()));
        }
        property.parameters.append(parameter);
    }

    QByteArray value = line.mid(end + 1);
    const QStringList encoding = property.parameterValues(QStringLiteral("ENCODING"));
    if (encoding.contains(u"QUOTED-PRINTABLE")) {
        value = decodeQuotedPrintable(value);
    } else if (encoding.contains(u"B") || encoding.contains(u"BASE64")) {
        // Pictures and sounds: nothing the contacts need as text.
        property.value.clear();
        return true;
    }
    const QStringList charset = property.parameterValues(QStringLiteral("CHARSET"));
    property.value = decodeCharset(value, charset.isEmpty() ? QString() : charset.first());
    return true;
}

QString unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u'n' || next == u'N') {
                out.append(u'\n');
                ++i;
                continue;
            }
            if (next == u',' || next == u';' || next == u'\\' || next == u':') {
                out.append(next);
                ++i;
                continue;
            }
        }
        out.append(c);
    }
    // Outlook's multi-line values use CR LF; bring every other line break to that form.
    QString crlf;
    crlf.reserve(out.size());
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i] == u'\r') {
            crlf.append(u"\r\n");
            if (i + 1 < out.size() && out[i + 1] == u'\n')
                ++i;
        } else if (out[i] == u'\n') {
            crlf.append(u"\r\n");
        } else {
            crlf.append(out[i]);
        }
    }
    return crlf;
}

} // namespace

QString decodeCharset(const QByteArray &bytes, const QString &charset)
{
    const QString name = charset.trimmed().toUpper();
    QString text;
    if (name.isEmpty() || name == u"UTF-8" || name == u"UTF8") {
        // Undeclared 8-bit text from older Windows programs is Windows-1252, and so is text
        // that claims UTF-8 but is not.
        return decodeUtf8(bytes, text) ? text : decodeCp1252(bytes);
    }
    if (name == u"WINDOWS-1252" || name == u"CP1252" || name == u"WIN-1252" || name == u"X-CP1252")
        return decodeCp1252(bytes);
    if (name == u"ISO-8859-1" || name == u"ISO8859-1" || name == u"LATIN1" || name == u"LATIN-1" ||
        name == u"US-ASCII" || name == u"ASCII")
        return QString::fromLatin1(bytes);
    if (name == u"ISO-8859-15" || name == u"ISO8859-15" || name == u"LATIN-9" || name == u"LATIN9")
        return fromLatin9(bytes);
    QStringDecoder decoder(name.toLatin1().constData());
    if (decoder.isValid()) {
        text = decoder.decode(bytes);
        if (!decoder.hasError())
            return text;
    }
    return decodeUtf8(bytes, text) ? text : decodeCp1252(bytes);
}

QStringList VCardProperty::parameterValues(const QString &parameterName) const
{
    QStringList values;
    for (const VCardParameter &parameter : parameters) {
        if (parameter.name == parameterName) {
            for (const QString &value : parameter.values)
                values.append(value.trimmed().toUpper());
        }
    }
    return values;
}

QStringList VCardProperty::types() const
{
    QStringList values = parameterValues(QStringLiteral("TYPE"));
    if (!parameterValues(QStringLiteral("PREF")).isEmpty())
        values.append(QStringLiteral("PREF"));
    return values;
}

QString VCardProperty::text() const
{
    return unescape(value);
}

QStringList VCardProperty::components() const
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\') {
            ++i; // the escaped character never separates
        } else if (value[i] == u';') {
            parts.append(unescape(QStringView(value).mid(start, i - start)));
            start = i + 1;
        }
    }
    parts.append(unescape(QStringView(value).mid(qMin(start, value.size()))));
    return parts;
}

const VCardProperty *VCard::first(const QString &name) const
{
    for (const VCardProperty &property : properties) {
        if (property.name == name)
            return &property;
    }
    return nullptr;
}

QList<const VCardProperty *> VCard::all(const QString &name) const
{
    QList<const VCardProperty *> found;
    for (const VCardProperty &property : properties) {
        if (property.name == name)
            found.append(&property);
    }
    return found;
}

QList<VCard> parseVCards(const QByteArray &input)
{
    QByteArray data = input;
    if (data.startsWith("\xEF\xBB\xBF")) {
        data.remove(0, 3);
    } else if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        // Some Windows programs export UTF-16; bring it to UTF-8 so the rest reads as usual.
        QStringDecoder decoder(data.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                           : QStringDecoder::Utf16BE);
        const QString text = decoder.decode(data.mid(2));
        data = text.toUtf8();
    }

    // Unfold: a line starting with a blank or tab continues the previous one, and so does the
    // line after a quoted-printable soft break ("=" at the end).
    QList<QByteArray> logical;
    QByteArray current;
    bool haveCurrent = false;
    bool softBreak = false;
    for (const QByteArray &line : splitPhysicalLines(data)) {
        if (haveCurrent && softBreak) {
            current.chop(1);
            current.append(line);
            softBreak = current.endsWith('=') && isQuotedPrintable(current);
            continue;
        }
        if (haveCurrent && !line.isEmpty() && (line[0] == ' ' || line[0] == '\t')) {
            current.append(line.mid(1));
            softBreak = current.endsWith('=') && isQuotedPrintable(current);
            continue;
        }
        if (haveCurrent)
            logical.append(current);
        current = line;
        haveCurrent = !line.trimmed().isEmpty();
        softBreak = haveCurrent && current.endsWith('=') && isQuotedPrintable(current);
    }
    if (haveCurrent)
        logical.append(current);

    QList<VCard> cards;
    VCard card;
    int depth = 0;
    // Only a BEGIN right after an empty AGENT opens a nested card; any other BEGIN inside a
    // card means that card lost its END, and it must not swallow every card after it.
    bool agentOpen = false;
    for (const QByteArray &line : logical) {
        VCardProperty property;
        if (!parseProperty(line, property))
            continue;
        const bool isCardMark = property.value.trimmed().compare(u"VCARD", Qt::CaseInsensitive) == 0;
        if (property.name == u"BEGIN" && isCardMark) {
            if (depth == 1 && !agentOpen) {
                cards.append(card);
                card = VCard();
            } else {
                if (depth == 0)
                    card = VCard();
                ++depth;
            }
            agentOpen = false;
            continue;
        }
        if (property.name == u"END" && isCardMark) {
            if (depth > 0 && --depth == 0)
                cards.append(card);
            agentOpen = false;
            continue;
        }
        if (depth != 1)
            continue;
        agentOpen = property.name == u"AGENT" && property.value.trimmed().isEmpty();
        if (property.name == u"VERSION")
            card.version = property.value.trimmed();
        card.properties.append(property);
    }
    if (depth > 0)
        cards.append(card); // cut off at the end of the file: keep what was read
    return cards;
}
