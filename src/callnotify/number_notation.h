#pragma once

// Whether two texts are notations of the same telephone number ("+49 30 1234567",
// "030/1234567", "(030) 123 45 67", "0049301234567"). Numbers without a country code are read
// as numbers of defaultRegion (an ISO 3166 code such as "DE"). Texts that are no possible
// number there (internal extensions, words) never match anything by notation.

#include <QString>

bool sameNumberNotation(const QString &a, const QString &b, const QString &defaultRegion = QStringLiteral("DE"));
