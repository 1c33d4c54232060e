#include "check/MatchPattern.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> matched(const std::string& pattern, const std::string& subject) {
    std::vector<std::string> list = {"stale"};
    EXPECT_EQ(MatchPattern(pattern, subject, list), mrMatched) << pattern;
    return list;
}

using Strings = std::vector<std::string>;

} // namespace

TEST(MatchPatternTest, UngreedyCaselessMultiLineDotAll) {
    EXPECT_EQ(matched(R"(Balance:\s*(\d+?)(\.)(\d\d))", "<b>Balance: 1234.56</b>"),
              (Strings{"Balance: 1234.56", "1234", ".", "56"}));
    // Quantifiers are lazy unless marked: (\d+) takes one digit.
    EXPECT_EQ(matched(R"(Balance:\s*(\d+))", "Balance: 1234.56"), (Strings{"Balance: 1", "1"}));
    EXPECT_EQ(matched("BALANCE (.*)x", "balance a\nbx"), (Strings{"balance a\nbx", "a\nb"}));
    EXPECT_EQ(matched("^second$", "first\nsecond\nthird"), (Strings{"second"}));
    // Only the first match counts; a group that took no part is empty.
    EXPECT_EQ(matched("(a)|(b)", "b a"), (Strings{"b", "", "b"}));
    // The whole subject is searched, zero bytes included.
    EXPECT_EQ(matched("z(\\d)", std::string("a\0z5", 4)), (Strings{"z5", "5"}));
}

TEST(MatchPatternTest, FailuresMapOntoResults) {
    std::vector<std::string> list = {"stale"};
    EXPECT_EQ(MatchPattern("nothing", "page", list), mrNoMatch);
    EXPECT_TRUE(list.empty());
    list = {"stale"};
    EXPECT_EQ(MatchPattern("(unclosed", "page", list), mrCompileError);
    EXPECT_TRUE(list.empty());
    // More groups than the result vector holds: a match without submatches.
    std::string many;
    for (int i = 0; i < 40; ++i)
        many += "(a)";
    EXPECT_EQ(matched(many, std::string(40, 'a')), Strings{});
    // 32 groups still fit.
    EXPECT_EQ(matched(many.substr(0, 32 * 3), std::string(32, 'a')).size(), 33u);
    // Running into the match limit is a match without submatches.
    EXPECT_EQ(matched("(*LIMIT_MATCH=50)(?:a|b)+?[cd]", std::string(1000, 'a')), Strings{});
}

TEST(MatchPatternTest, JitAndInterpreterAgree) {
    std::string page(200000, 'x');
    page += "Balance: -1 234.56 USD";
    const TCompiledPattern jit(R"(balance:\s*(.+?)(\.)(\d\d))");
    const TCompiledPattern plain(R"(balance:\s*(.+?)(\.)(\d\d))", false);
    ASSERT_TRUE(jit.Compiled());
    EXPECT_FALSE(plain.Jitted());
    std::vector<std::string> a, b;
    EXPECT_EQ(jit.Match(page, a), mrMatched);
    EXPECT_EQ(plain.Match(page, b), mrMatched);
    // \s* is lazy here, so the greedy group takes the blank too.
    EXPECT_EQ(a, (Strings{"Balance: -1 234.56", " -1 234", ".", "56"}));
    EXPECT_EQ(a, b);
}

TEST(MatchPatternTest, ParseAmountKeepsDigitsAndMinusSigns) {
    EXPECT_EQ(ParseAmount(" $1,234.56 "), "123456");
    EXPECT_EQ(ParseAmount("- 12"), "-12");
    EXPECT_EQ(ParseAmount("+12"), "12");
    EXPECT_EQ(ParseAmount("--5"), "-5");
    EXPECT_EQ(ParseAmount("---5"), "--5");
    EXPECT_EQ(ParseAmount("----5"), "--5");
    EXPECT_EQ(ParseAmount("abc"), "");
}
