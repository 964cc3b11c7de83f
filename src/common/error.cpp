#include "common/error.h"

std::optional<int> tryStrToInt(QStringView text)
{
    QStringView digits = text.trimmed();
    bool negative = false;
    if (digits.startsWith(u'-') || digits.startsWith(u'+')) {
        negative = digits.startsWith(u'-');
        digits = digits.mid(1);
    }
    bool ok = false;
    int value = 0;
    if (digits.startsWith(u"0x", Qt::CaseInsensitive))
        value = digits.mid(2).toInt(&ok, 16);
    else if (digits.startsWith(u'$'))
        value = digits.mid(1).toInt(&ok, 16);
    else if (!digits.isEmpty() && digits.front().isDigit())
        value = digits.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return negative ? -value : value;
}

int strToInt(const QString &text)
{
    if (const std::optional<int> value = tryStrToInt(text))
        return *value;
    throw ConversionError(QStringLiteral("'") + text + QStringLiteral("' is not a valid integer value"));
}
