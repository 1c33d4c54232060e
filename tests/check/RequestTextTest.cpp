#include "check/RequestText.h"
#include "platform/FormatDateTime.h"

#include <gtest/gtest.h>

#include <map>

TEST(RequestTextTest, UrlEncodeKeepsOnlyLettersAndDigits) {
    EXPECT_EQ(UrlEncode("x y&z"), "x+y%26z");
    EXPECT_EQ(UrlEncode("x-y.z"), "x%2Dy%2Ez");
    EXPECT_EQ(UrlEncode("Az09_~"), "Az09%5F%7E");
    EXPECT_EQ(UrlEncode(std::string("\0\xFF\x80", 3)), "%00%FF%80");
    EXPECT_EQ(UrlEncode(""), "");
}

TEST(RequestTextTest, RandLoginAndPasswordInAnyCase) {
    EXPECT_EQ(SubstitutePlaceholders("r={rand}&s={RAND}&t={RaNd}", "", "", -42), "r=-42&s=-42&t=-42");
    // Logins and passwords are encoded so that they cannot split the form data.
    EXPECT_EQ(SubstitutePlaceholders("user={LOGIN}&pass={password}", "john smith", "a&b=c", 1),
              "user=john+smith&pass=a%26b%3Dc");
    EXPECT_EQ(SubstitutePlaceholders("{Login}{PASSWORD}", "", "", 1), "");
    // The inserted texts are not scanned again.
    EXPECT_EQ(SubstitutePlaceholders("{LOGIN}", "{RAND}", "", 7), "%7BRAND%7D");
    EXPECT_EQ(SubstitutePlaceholders("{PASSWORD}", "", "{LOGIN}", 7), "%7BLOGIN%7D");
}

TEST(RequestTextTest, DateTimePlaceholders) {
    // Compared with the formatter's own output around the call, so a change of second cannot fail it.
    const auto expectDate = [](const std::string& text, const std::string& prefix, const std::string& format,
                               const std::string& suffix) {
        const std::string before = FormatDateTime(format, Now());
        const std::string result = SubstitutePlaceholders(text, "", "", 0);
        const std::string after = FormatDateTime(format, Now());
        EXPECT_TRUE(result == prefix + before + suffix || result == prefix + after + suffix)
            << text << " -> " << result;
    };
    expectDate("d={DATETIME,yyyymmdd}&x=1", "d=", "yyyymmdd", "&x=1");
    expectDate("{DATETIME,yyyy}-{DATETIME,hh:nn}", "", "yyyy", "-" + FormatDateTime("hh:nn", Now()));
    // Without a closing brace the placeholder takes the rest of the text.
    expectDate("a{DATETIME,yyyy&b=2", "a", "yyyy&b=2", "");
    // Only the exact spelling counts.
    EXPECT_EQ(SubstitutePlaceholders("{datetime,hh}", "", "", 0), "{datetime,hh}");
    // A format whose literal text spells the placeholder again is inserted once, not looped on.
    EXPECT_EQ(SubstitutePlaceholders("{DATETIME,\"{DATETIME,\"}!", "", "", 0), "{DATETIME,!");
}

TEST(RequestTextTest, MatchPlaceholders) {
    const std::vector<std::string> page = {"Balance: 12.50", "12", ".", "50"};
    const std::map<std::int64_t, std::vector<std::string>> steps = {
        {1, {"whole", "tok en"}},
        {2, {"a", "b", "c", "d&e"}},
    };
    const TStepMatches lookup = [&](std::int64_t step) -> const std::vector<std::string>* {
        const auto it = steps.find(step);
        return it == steps.end() ? nullptr : &it->second;
    };
    const auto sub = [&](const std::string& text) { return SubstituteMatches(text, page, lookup); };
    EXPECT_EQ(sub("{c_1}/{c_3}"), "12/50");
    EXPECT_EQ(sub("{c_0}"), "Balance%3A+12%2E50");
    EXPECT_EQ(sub("t={c_1_1}&v={c_2_3}"), "t=tok+en&v=d%26e");
    // Indexes outside a list and steps that do not exist give nothing.
    EXPECT_EQ(sub("[{c_5}][{c_-1}][{c_3_1}][{c_2_9}]"), "[][][][]");
    // An index that is not a number counts as 1; a step that is not a number as the page itself.
    EXPECT_EQ(sub("{c_x}|{c_}|{c_y_3}"), "12|12|50");
    // With several underscores the last number before the index is the step.
    EXPECT_EQ(sub("{c_9_2_1}"), "b");
    // Unclosed: runs to the end with index 0.
    EXPECT_EQ(sub("a{c_1_"), "awhole");
    EXPECT_EQ(sub("a{c_"), "aBalance%3A+12%2E50");
    // Only "{c_" in lower case starts a placeholder.
    EXPECT_EQ(sub("{C_1}{c1}{c"), "{C_1}{c1}{c");
    EXPECT_EQ(SubstituteMatches("{c_1_1}", page, nullptr), "");
}

TEST(RequestTextTest, ParseInt32) {
    EXPECT_EQ(ParseInt32("0"), 0);
    EXPECT_EQ(ParseInt32("-12"), -12);
    EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
    EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
    for (const char* bad : {"", "-", "2147483648", "-2147483649", "1-", "--1", " 1", "+1", "99999999999999999999"})
        EXPECT_FALSE(ParseInt32(bad).has_value()) << bad;
}
