#include "app/box_client.h"

#include <gtest/gtest.h>

TEST(EncodeQueryValue, KeepsOwnEscapesAndEncodesEverythingElse)
{
    struct Case { const char *name; QString in; QByteArray out; };
    const Case cases[] = {
        {"Digits", QStringLiteral("0301234"), "0301234"},
        {"PreparedName", QStringLiteral("Baeckerei%20Gross"), "Baeckerei%20Gross"},
        {"LineBreakEscape", QStringLiteral("Zeile,%20zwei%0a"), "Zeile%2C%20zwei%0a"},
        {"Ampersand", QStringLiteral("A&body=x"), "A%26body%3Dx"},
        {"Hash", QStringLiteral("#1"), "%231"},
        {"RequestLineBreakers", QStringLiteral("a b\r\nc"), "a%20b%0D%0Ac"},
        {"LoneAndBrokenPercent", QStringLiteral("100% %zz %4"), "100%25%20%25zz%20%254"},
        {"NonAscii", QStringLiteral("\u00e4"), "%C3%A4"},
        {"Empty", QString(), ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(encodeQueryValue(c.in), c.out);
    }
}
