#include "common/error.h"

int strToInt(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    int value = 0;
    QString digits = t;
    bool negative = false;
    if (digits.startsWith(u'-') || digits.startsWith(u'+')) {
        negative = digits.startsWith(u'-');
        digits = digits.mid(1);
    }
    if (digits.startsWith(u"0x", Qt::CaseInsensitive))
        value = digits.mid(2).toInt(&ok, 16);
    else if (digits.startsWith(u'$'))
        value = digits.mid(1).toInt(&ok, 16);
    else if (!digits.isEmpty() && digits.front().isDigit())
        value = digits.toInt(&ok, 10);
    if (!ok)
        throw ConversionError(QStringLiteral("'") + text + QStringLiteral("' is not a valid integer value"));
    return negative ? -value : value;
}
