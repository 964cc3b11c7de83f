#include "capi/capi_binding.h"
#include "capi/capi_texts.h"

#include <gtest/gtest.h>

#include <QSet>

#include "fake_capi_driver.h"

using capitest::FakeCapiDriver;

TEST(CapiTexts, InfoTextsCarryTheCodeInHex)
{
    struct Case
    {
        const char *name;
        quint16 code;
        QString text;
    };
    const Case cases[] = {
        {"ZeroIsPlainOK", 0x0000, QStringLiteral("OK")},
        {"Reason", 0x3490, QStringLiteral("Normal call clearing ($3490)")},
        {"UnknownSmall", 0x00AB, QStringLiteral("unknown error ($00AB)")},
        {"NotListed1006", 0x1006, QStringLiteral("unknown error ($1006)")},
        {"RepeatedText", 0x1107,
         QStringLiteral("the message could not be accepted because of an internal busy condition ($1107)")},
        {"SameTextLower", 0x1007,
         QStringLiteral("the message could not be accepted because of an internal busy condition ($1007)")},
        {"UpperCaseHex", 0x34FF, QStringLiteral("Interworking, unspecified ($34FF)")},
        {"FaxReason", 0x3319, QStringLiteral("Illegal parameter coding (e.g. SFF coding error) ($3319)")},
        {"QueueFull", 0x1103,
         QStringLiteral("the message could not be accepted because of a queue full condition. ($1103)")},
        {"Highest", 0xFFFF, QStringLiteral("unknown error ($FFFF)")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CapiInfoText(c.code), c.text);
    }
}

TEST(CapiTexts, EveryQ850CauseOfTheListHasItsOwnText)
{
    const int causes[] = {1,  2,  3,  6,  7,  16, 17, 18, 19, 21, 22, 26,  27,  28,  29,  30, 31, 34,
                          38, 41, 42, 43, 44, 47, 49, 50, 57, 58, 63, 65,  66,  69,  70,  79, 81, 82,
                          83, 84, 85, 86, 88, 91, 95, 96, 97, 98, 99, 100, 101, 102, 111, 127};
    ASSERT_EQ(std::size(causes), 52u);
    QSet<QString> texts;
    for (int cause : causes) {
        const QString text = CapiInfoText(quint16(0x3480 + cause));
        EXPECT_FALSE(text.startsWith(QStringLiteral("unknown error"))) << cause;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), 52);
    EXPECT_TRUE(CapiInfoText(0x3480 + 4).startsWith(QStringLiteral("unknown error ")));
}

TEST(CapiTexts, CipAndDriverStateTexts)
{
    EXPECT_EQ(CipValueText(16), QStringLiteral("telephony"));
    EXPECT_EQ(CipValueText(1), QStringLiteral("speech"));
    EXPECT_EQ(CipValueText(28), QStringLiteral("Video Telephony F.721, second connection"));
    for (quint16 none : {10, 15, 29, 0xFFFF}) {
        SCOPED_TRACE(none);
        EXPECT_EQ(CipValueText(none), QString());
    }
    EXPECT_EQ(CapiDriverStateText(0), QStringLiteral("CAPI 2.0 (32 Bit) installed"));
    EXPECT_EQ(CapiDriverStateText(1), QStringLiteral("CAPI2032.DLL not loaded."));
    EXPECT_EQ(CapiDriverStateText(2), QStringLiteral("File \"CAPI2032.DLL\" not found."));
    EXPECT_EQ(CapiDriverStateText(3), QStringLiteral("CAPI 2.0 (32 Bit) not installed."));
    EXPECT_EQ(CapiDriverStateText(4), QString());
    EXPECT_EQ(CapiDriverStateText(-1), QString());
    EXPECT_EQ(CapiMessageBufferSize(1), 2048u);
    EXPECT_EQ(CapiMessageBufferSize(2), 3072u);
}

class CapiBindingTest : public ::testing::Test
{
protected:
    void TearDown() override { SetCapiDriverOpener({}); }

    // Installs an opener that hands out `fake` (or nothing) and counts its calls.
    void useOpener(std::shared_ptr<FakeCapiDriver> fake)
    {
        SetCapiDriverOpener([this, fake]() -> std::shared_ptr<CapiDriverApi> {
            ++m_opens;
            return fake;
        });
    }
    int m_opens = 0;
};

TEST_F(CapiBindingTest, LoadsOnceAndUnloadsBackToNotLoaded)
{
    auto fake = std::make_shared<FakeCapiDriver>();
    useOpener(fake);
    EXPECT_EQ(CapiDriverState(), 1);
    EXPECT_FALSE(UnloadCapiDriver()) << "nothing loaded yet";
    LoadCapiDriver();
    EXPECT_EQ(CapiDriverState(), 0);
    EXPECT_TRUE(CapiDriverLoaded());
    EXPECT_EQ(CapiDriver(), fake);
    LoadCapiDriver();
    EXPECT_EQ(m_opens, 1) << "a second load does nothing";
    EXPECT_TRUE(UnloadCapiDriver());
    EXPECT_EQ(CapiDriverState(), 1);
    EXPECT_FALSE(CapiDriverLoaded());
    EXPECT_EQ(CapiDriver(), nullptr);
    EXPECT_FALSE(UnloadCapiDriver());
}

TEST_F(CapiBindingTest, FailuresGiveTheirStates)
{
    struct Case
    {
        const char *name;
        std::function<std::shared_ptr<FakeCapiDriver>()> make;
        int state;
        bool loaded;
    };
    const Case cases[] = {
        {"LibraryMissing", [] { return std::shared_ptr<FakeCapiDriver>(); }, 2, false},
        {"DriverNotInstalled",
         [] {
             auto f = std::make_shared<FakeCapiDriver>();
             f->installedResult = 0x1009;
             return f;
         },
         3, true},
        {"EntryPointMissing",
         [] {
             auto f = std::make_shared<FakeCapiDriver>();
             f->entryPointsComplete = false;
             return f;
         },
         3, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        useOpener(c.make());
        LoadCapiDriver();
        EXPECT_EQ(CapiDriverState(), c.state);
        EXPECT_EQ(CapiDriverLoaded(), c.loaded);
        EXPECT_EQ(CapiDriver(), nullptr) << "no entry point is handed out";
    }
}

TEST_F(CapiBindingTest, RealLoaderReportsAMissingLibraryFile)
{
    SetCapiDriverOpener([] { return openLibCapi20("libcapi20-not-there.so.3"); });
    LoadCapiDriver();
    EXPECT_EQ(CapiDriverState(), 2);
    EXPECT_EQ(CapiDriverStateText(CapiDriverState()), QStringLiteral("File \"CAPI2032.DLL\" not found."));
}
