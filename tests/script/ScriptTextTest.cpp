#include "script/ScriptText.h"

#include <gtest/gtest.h>

TEST(ScriptText, ValidUtf8BecomesItsCharacters) {
    const QString text = ToScriptText("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(text, QStringLiteral(u"Café € \U0001F600"));
    EXPECT_EQ(text.size(), 9); // the emoji takes a surrogate pair
    EXPECT_EQ(FromScriptText(text), "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(ToScriptText(std::string("a\0b", 3)).size(), 3);
}

TEST(ScriptText, EveryStrayByteArrivesAsItsLatin1Character) {
    // A page in a legacy code page, a stray continuation byte, a sequence cut short, an overlong
    // form and an encoded surrogate: each byte that is not part of a valid sequence stays itself.
    EXPECT_EQ(ToScriptText("\xCF\xF0\xE8\xE2\xE5\xF2"), QString::fromLatin1("\xCF\xF0\xE8\xE2\xE5\xF2"));
    EXPECT_EQ(ToScriptText("a\x80z"), QString::fromLatin1("a\x80z"));
    EXPECT_EQ(ToScriptText("\xE2\x82"), QString::fromLatin1("\xE2\x82"));
    EXPECT_EQ(ToScriptText("\xC0\xAF"), QString::fromLatin1("\xC0\xAF"));
    EXPECT_EQ(ToScriptText("\xED\xA0\x80"), QString::fromLatin1("\xED\xA0\x80"));
    EXPECT_EQ(ToScriptText("\xF4\x90\x80\x80"), QString::fromLatin1("\xF4\x90\x80\x80")); // past U+10FFFF
    // Mixed: valid sequences around a stray byte keep their meaning.
    EXPECT_EQ(ToScriptText("\xC3\xA9\xFF\xC3\xA9"), QStringLiteral(u"é\u00FFé"));
}

TEST(ScriptText, ScriptTextsLeaveAsUtf8) {
    // A stray byte that came in as a Latin-1 character goes back out as that character.
    EXPECT_EQ(FromScriptText(ToScriptText("\xFF")), "\xC3\xBF");
    const QString loneSurrogate(QChar(0xD800));
    EXPECT_EQ(FromScriptText(QStringLiteral("a") + loneSurrogate), "a\xEF\xBF\xBD");
}

TEST(ScriptText, AsciiLowerLeavesOtherBytes) {
    EXPECT_EQ(AsciiLower("AlertItem ALERT \xC3\x84"), "alertitem alert \xC3\x84");
}
