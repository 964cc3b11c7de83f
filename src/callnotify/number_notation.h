#pragma once

// Whether two texts are notations of the same telephone number ("+49 30 1234567",
// "030/1234567", "(030) 123 45 67", "0049301234567"). Numbers without a country code are read
// as numbers of defaultRegion (an ISO 3166 code such as "DE"). Texts that are no possible
// number there (internal extensions, words) never match anything by notation.

#include <QString>

// The number in one canonical form (international, with its extension), or empty when text is
// no possible number. Two texts are notations of the same number when their keys are equal
// and not empty.
QString numberNotationKey(const QString &text, const QString &defaultRegion = QStringLiteral("DE"));

bool sameNumberNotation(const QString &a, const QString &b,
                        const QString &defaultRegion = QStringLiteral("DE"));
