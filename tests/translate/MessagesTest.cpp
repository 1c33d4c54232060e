#include "translate/Messages.h"

#include <gtest/gtest.h>

TEST(Messages, BuiltInTable) {
    EXPECT_EQ(LoadStr(1052), "Initializing...");
    EXPECT_EQ(LoadStr(1008), "OK");
    EXPECT_EQ(LoadStr(1009), "ERR");
    EXPECT_NE(LoadStr(1007).find("login/password).\r\nThis may"), std::string::npos);
    EXPECT_EQ(LoadStr(1031), "Error occured in script '%s': %s\tLine number: %u\tChar pos: %u\tSource: %s");
    // Numbers without a text, and numbers outside the table, are empty.
    EXPECT_EQ(LoadStr(1063), "");
    EXPECT_EQ(LoadStr(999), "");
    EXPECT_EQ(LoadStr(1077), "");
    for (unsigned id = 1000; id < 3000; ++id)
        EXPECT_EQ(LoadStr(id), BuiltInMessage(id)) << id;
    // The program's own messages, such as the loader's lines, are numbered like the others.
    EXPECT_EQ(LoadStr(2035), "[ERR] Unable to read balance alerts file '%s'!");
}

TEST(Messages, FormattingIsSafeForAnyFormat) {
    EXPECT_EQ(FormatMsg(LoadStr(1049), {std::uint64_t{3}, std::uint64_t{2}}), "Loaded 3 balance alerts from 2 lists.");
    EXPECT_EQ(FormatMsg("%s=%d (%u) 100%%", {std::string("x"), std::int64_t{-5}, std::int64_t{-1}}),
              "x=-5 (4294967295) 100%");
    // A translated format with more placeholders than arguments, or foreign sequences, cannot crash.
    EXPECT_EQ(FormatMsg("%s %s %n %x %", {std::string("a")}), "a  %n %x %");
    EXPECT_EQ(FormatMsg("%d", {std::string("text")}), "text");
    EXPECT_EQ(FormatMsg("", {std::string("unused")}), "");
}
