#include "alerts/AlertLimits.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

// Amounts as people type them are read to the hundredth or refused; nothing half-read gets through.
TEST(AlertLimits, AmountsAsPeopleTypeThemAreReadOrRefused) {
    struct Case {
        const char* typed;
        std::optional<std::int32_t> hundredths;
    };
    const Case accepted[] = {
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"50", 5000},
        {"50,00", 5000},
        {"50.5", 5050},
        {",5", 50},
        {"1.234,50", 123450},
        {"1,234.50", 123450},
        {"1 234.50", 123450},
        {"1\xC2\xA0"
         "234,50",
         123450}, // no-break space
        {"1\xE2\x80\xAF"
         "234,50",
         123450},          // narrow no-break space
        {"1.234", 123400}, // three digits after a lone separator: thousands
        {"1,234,567", 123456700},
        {"12.345.678,90", 1234567890},
        {"\xE2\x82\xAC 50", 5000}, // euro sign
        {"50 \xE2\x82\xAC", 5000},
        {"$1,000.99", 100099},
        {"EUR 50,00", 5000},
        {"-100", -10000},
        {"-\xE2\x82\xAC 12,30", -1230},
        {"\xE2\x82\xAC -12,30", -1230},
        {"21474836.47", 2147483647},
    };
    for (const Case& c : accepted) {
        std::optional<std::int32_t> value = 1;
        EXPECT_TRUE(ParseAmount(c.typed, value)) << c.typed;
        EXPECT_EQ(value, c.hundredths) << c.typed;
    }
    for (const char* typed :
         {"abc",   "12a3",         "12a",         "12 abc",         "EUR",        "50 eur",     "x50",      "%50",
          "1,2,3", "1.234,5.6",    "1,23,456",    "0,125",          "12.",        "1..2",       "1.234.56", "--5",
          "-",     "\xE2\x82\xAC", "21474836.48", "99999999999999", "5 0 ,0 0x1", "1,234,56.7", "1.2.3,4"}) {
        std::optional<std::int32_t> value = 77;
        EXPECT_FALSE(ParseAmount(typed, value)) << typed;
        EXPECT_EQ(value, 77) << typed;
    }
    // The stored form round-trips, and a damaged stored text is no limit rather than a wrong one.
    EXPECT_EQ(StoredLimitText(-123450), "-123450");
    EXPECT_EQ(StoredLimitText(std::nullopt), "");
    EXPECT_EQ(LimitFromStoredText("-123450"), -123450);
    for (const char* stored : {"", "-", "12x", "99999999999", "1.5"})
        EXPECT_EQ(LimitFromStoredText(stored), std::nullopt) << stored;
    EXPECT_EQ(AmountText(-5, ","), "-0,05");
    EXPECT_EQ(AmountText(123450, "."), "1234.50");
}
