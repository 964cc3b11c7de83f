#include "callnotify/number_notation.h"

#include <phonenumbers/phonenumberutil.h>

#include <optional>

namespace {
using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

std::optional<PhoneNumber> parse(const QString &text, const std::string &region)
{
    const PhoneNumberUtil &util = *PhoneNumberUtil::GetInstance();
    PhoneNumber number;
    if (util.Parse(text.trimmed().toStdString(), region, &number) != PhoneNumberUtil::NO_PARSING_ERROR)
        return std::nullopt;
    // A short extension such as "41" would otherwise equal "041" and every other short number.
    if (!util.IsPossibleNumber(number))
        return std::nullopt;
    return number;
}
} // namespace

QString numberNotationKey(const QString &text, const QString &defaultRegion)
{
    if (text.trimmed().isEmpty())
        return {};
    const std::optional<PhoneNumber> number = parse(text, defaultRegion.toStdString());
    if (!number)
        return {};
    std::string key;
    PhoneNumberUtil::GetInstance()->Format(*number, PhoneNumberUtil::E164, &key);
    if (number->has_extension())
        key += ";ext=" + number->extension();
    return QString::fromStdString(key);
}

bool sameNumberNotation(const QString &a, const QString &b, const QString &defaultRegion)
{
    const QString key = numberNotationKey(a, defaultRegion);
    return !key.isEmpty() && key == numberNotationKey(b, defaultRegion);
}
