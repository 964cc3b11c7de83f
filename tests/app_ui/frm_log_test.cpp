#include <gtest/gtest.h>

#include <QPlainTextEdit>

#include "app/ui/frm_log.h"
#include "common/activity_log.h"

TEST(FrmLogTest, ShowsEveryLineIncludingThoseAddedWhileHidden)
{
    ActivityLog log;
    log.add(QStringLiteral("Application start ...  "));
    TFrmLog window(log);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Log"));
    EXPECT_EQ(window.size(), QSize(719, 713));
    EXPECT_TRUE(window.Memo1->isReadOnly());

    window.show();
    window.hide();
    for (int i = 0; i < 500; ++i)
        log.addRaw(QStringLiteral("line %1").arg(i));
    window.show();

    const QStringList shown = window.Memo1->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(shown.size(), 502);
    EXPECT_EQ(shown.first(), QStringLiteral("++ Log ++"));
    EXPECT_TRUE(shown.at(1).startsWith(QStringLiteral("Application start ...  ")));
    EXPECT_EQ(shown.last(), QStringLiteral("line 499"));
}
