#include "common/error.h"

#include <gtest/gtest.h>

TEST(StrToInt, AcceptsWhatTheRunTimeAccepts)
{
    struct Case { const char *name; QString text; int value; };
    const Case cases[] = {
        {"Decimal", QStringLiteral("10"), 10},
        {"Negative", QStringLiteral("-7"), -7},
        {"Hex0x", QStringLiteral("0x1F"), 31},
        {"HexDollar", QStringLiteral("$10"), 16},
        {"SurroundingBlanks", QStringLiteral(" 42 "), 42},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(strToInt(c.text), c.value);
    }
}

TEST(StrToInt, RejectsNonIntegersWithTheConversionText)
{
    for (const QString &text : {QString(), QStringLiteral("abc"), QStringLiteral("1.5"), QStringLiteral("0x")}) {
        SCOPED_TRACE(text.toStdString());
        try {
            strToInt(text);
            FAIL() << "no error";
        } catch (const ConversionError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("'") + text + QStringLiteral("' is not a valid integer value"));
        }
    }
}
