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

bool sameNumberNotation(const QString &a, const QString &b, const QString &defaultRegion)
{
    if (a.trimmed().isEmpty() || b.trimmed().isEmpty())
        return false;
    const std::string region = defaultRegion.toStdString();
    const std::optional<PhoneNumber> first = parse(a, region);
    const std::optional<PhoneNumber> second = parse(b, region);
    if (!first || !second)
        return false;
    return PhoneNumberUtil::GetInstance()->IsNumberMatch(*first, *second) == PhoneNumberUtil::EXACT_MATCH;
}
