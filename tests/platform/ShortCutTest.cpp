#include "platform/ShortCut.h"
#include "app/Services.h"
#include "platform/SpecialFolders.h"
#include "platform/Strings.h"
#include "support/TestSupport.h"
#include <set>

#include <gtest/gtest.h>

TEST(ShortCut, EveryMappedKeySurvivesTheRoundTrip) {
    std::vector<QKeyCombination> keys;
    for (int k = Qt::Key_A; k <= Qt::Key_Z; ++k)
        keys.emplace_back(Qt::ControlModifier, static_cast<Qt::Key>(k));
    for (int k = Qt::Key_0; k <= Qt::Key_9; ++k) {
        keys.emplace_back(Qt::AltModifier, static_cast<Qt::Key>(k));
        keys.emplace_back(Qt::AltModifier | Qt::KeypadModifier, static_cast<Qt::Key>(k));
    }
    for (int k = Qt::Key_F1; k <= Qt::Key_F24; ++k)
        keys.emplace_back(Qt::ShiftModifier | Qt::AltModifier, static_cast<Qt::Key>(k));
    for (Qt::Key k : {Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down, Qt::Key_Home, Qt::Key_End, Qt::Key_PageUp,
                      Qt::Key_PageDown, Qt::Key_Insert, Qt::Key_Delete, Qt::Key_Space, Qt::Key_Tab, Qt::Key_Return,
                      Qt::Key_Escape, Qt::Key_Backspace})
        keys.emplace_back(Qt::ControlModifier | Qt::AltModifier, k);
    for (Qt::Key k : {Qt::Key_Asterisk, Qt::Key_Plus, Qt::Key_Minus, Qt::Key_Period, Qt::Key_Slash})
        keys.emplace_back(Qt::ControlModifier | Qt::KeypadModifier, k);
    std::set<std::uint16_t> codes;
    for (const QKeyCombination& key : keys) {
        const std::uint16_t code = ShortCutFromQt(key);
        ASSERT_NE(code, 0) << key.toCombined();
        EXPECT_TRUE(codes.insert(code).second) << "two keys share " << code;
        EXPECT_EQ(ShortCutToQt(code), key) << std::hex << code;
    }
}

TEST(ShortCut, StoredFormMatchesTheVirtualKeyLayout) {
    EXPECT_EQ(ShortCutFromQt(QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_B)), 0xC042);
    EXPECT_EQ(ShortCutFromQt(QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_M)), 0xC04D);
    EXPECT_EQ(ShortCutFromQt(QKeyCombination(Qt::ShiftModifier, Qt::Key_F12)), 0x2000 | 0x7B);
    EXPECT_EQ(ShortCutFromQt(QKeyCombination(Qt::AltModifier | Qt::KeypadModifier, Qt::Key_Enter)), 0x800D);
    EXPECT_EQ(ShortCutFromQt(QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Home)), 0x4024);
    EXPECT_EQ(ShortCutFromQt(QKeyCombination(Qt::ControlModifier, Qt::Key_Launch0)), 0);
    EXPECT_EQ(ShortCutToQt(0), QKeyCombination());
    EXPECT_EQ(ShortCutToQt(0xC0FF), QKeyCombination()); // no key of ours has code 0xFF
    // The hotkey rule: no modifier or Shift alone gains Alt; others stay.
    EXPECT_EQ(HotKeyFromTyped(QKeyCombination(Qt::Key_B)), 0x8042);
    EXPECT_EQ(HotKeyFromTyped(QKeyCombination(Qt::ShiftModifier, Qt::Key_B)), 0xA042);
    EXPECT_EQ(HotKeyFromTyped(QKeyCombination(Qt::ControlModifier, Qt::Key_B)), 0x4042);
    EXPECT_EQ(HotKeyFromTyped(QKeyCombination(Qt::ControlModifier, Qt::Key_Control)), 0);
}

TEST(SmallServices, LinksFoldersAndTrimming) {
    EXPECT_EQ(HelpLink("faq.php"), "https://tallyglass.example/?lang=en&page=faq.php");
    EXPECT_EQ(HelpLink(""), "https://tallyglass.example/?lang=en&page=");
    EXPECT_EQ(CheckVersionLink("1.0.0.41"), "https://tallyglass.example/check_version.php?lang=en&version=1.0.0.41");
    LanguageCode() = "de";
    EXPECT_EQ(HelpLink("faq.php"), "https://tallyglass.example/?lang=de&page=faq.php");
    LanguageCode() = "en";
    EXPECT_EQ(SupportMailLink(), "mailto:support@tallyglass.example");

    TempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path()));
    EXPECT_EQ(GetSpecialFolder(SpecialFolder::kLocalAppData), dir.path() + "/");
    EXPECT_EQ(GetSpecialFolder(0x7F), "");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString("/" + std::string(300, 'd')));
    EXPECT_EQ(GetSpecialFolder(SpecialFolder::kLocalAppData), ""); // too long for callers
    qunsetenv("XDG_DATA_HOME");

    EXPECT_EQ(Trim(" \t\r\n a b \x01"), "a b");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim("\xC3\xA4"), "\xC3\xA4"); // bytes above 0x7F are text, not blanks
}
