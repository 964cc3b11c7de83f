#include <gtest/gtest.h>

#include <stdexcept>

#include "app/ui/error_box.h"
#include "common/error.h"

TEST(ErrorBoxTest, ShowsTheTextOfWhateverTheActionThrows)
{
    std::vector<std::pair<MessageKind, QString>> shown;
    ScopedMessagePresenter presenter(
        [&](QWidget *, MessageKind kind, const QString &text) { shown.emplace_back(kind, text); });

    struct Case
    {
        const char *name;
        std::function<void()> action;
        bool finished;
        QString text;
    };
    const Case cases[] = {
        {"NoError", [] {}, true, {}},
        {"OwnError",
         [] { throw FileError(QStringLiteral("Die Datei /x/Boxvisor.ini ist schreibgeschützt.")); }, false,
         QStringLiteral("Die Datei /x/Boxvisor.ini ist schreibgeschützt.")},
        {"ConversionError", [] { strToInt(QStringLiteral("abc")); }, false,
         QStringLiteral("'abc' is not a valid integer value")},
        {"StandardException", [] { throw std::runtime_error("disk full"); }, false,
         QStringLiteral("disk full")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        shown.clear();
        EXPECT_EQ(runGuarded(nullptr, c.action), c.finished);
        if (c.finished) {
            EXPECT_TRUE(shown.empty());
        } else {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].first, MessageKind::Error);
            EXPECT_EQ(shown[0].second, c.text);
        }
    }
}
