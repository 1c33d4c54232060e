#include "platform/FormatDateTime.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <regex>
#include <string>

namespace {

const TDateTime kAfternoon = EncodeDateTime(2026, 3, 1, 15, 4, 5, 67); // a Sunday
const TDateTime kMorning = EncodeDateTime(2009, 11, 7, 8, 9, 3, 5);    // a Saturday

std::string English(const std::string& format, TDateTime value = kAfternoon) {
    return FormatDateTime(format, value, TFormatSettings::English());
}

// Cases are joined with '|', which the formatter copies.
TEST(FormatDateTime, DateDirectives) {
    EXPECT_EQ(English("d|dd|ddd|dddd|ddddd|dddddd"), "1|01|Sun|Sunday|3/1/2026|Sunday, March 1, 2026");
    EXPECT_EQ(English("m|mm|mmm|mmmm|y|yy|yyy|yyyy|DD/MM/YYYY"), "3|03|Mar|March|26|26|2026|2026|01/03/2026");
    EXPECT_EQ(English("d|dddd|mm|mmm|yy", kMorning), "7|Saturday|11|Nov|09");
    EXPECT_EQ(English("yy|yyyy", EncodeDate(5, 1, 1)), "05|0005");
}

TEST(FormatDateTime, TimeDirectives) {
    EXPECT_EQ(English("h|hh|n|nn|s|ss|z|zzz|t|tt|HH:NN:SS"), "15|15|4|04|5|05|67|067|3:04 PM|3:04:05 PM|15:04:05");
    EXPECT_EQ(English("h|hh|z|zzz|tt", kMorning), "8|08|5|005|8:09:03 AM");
}

TEST(FormatDateTime, CLeavesOutTheTimeOnlyAtExactMidnight) {
    EXPECT_EQ(English("c|cccc"), "3/1/2026 3:04:05 PM|3/1/2026 3:04:05 PM");
    EXPECT_EQ(English(""), "3/1/2026 3:04:05 PM");
    EXPECT_EQ(English("c", EncodeDate(2026, 3, 1)), "3/1/2026");
    EXPECT_EQ(English("", EncodeDate(2026, 3, 1)), "3/1/2026");
    EXPECT_EQ(English("c", EncodeDateTime(2026, 3, 1, 0, 0, 0, 1)), "3/1/2026 12:00:00 AM");
}

TEST(FormatDateTime, MAfterAnHourMeansMinutes) {
    EXPECT_EQ(English("h:m|hh:mm|d/m h:m m|h mmm"), "15:4|15:04|1/3 15:4 3|15 Mar");
    EXPECT_EQ(English("hh 'h' mm"), "15 h 04"); // quoted text keeps the hour in force
    EXPECT_EQ(English("hh x mm"), "15 x 03");   // any other letter ends it
}

TEST(FormatDateTime, AmPmAfterTheHourSelectsTheTwelveHourClock) {
    EXPECT_EQ(English("h:nn am/pm|h:nn AM/PM|h:nn Am/pM|h a/p|h A/P|h ampm"), "3:04 pm|3:04 PM|3:04 pM|3 p|3 P|3 PM");
    EXPECT_EQ(English("hh am/pm|h A/P", kMorning), "08 am|8 A");
    EXPECT_EQ(English("h am/pm", EncodeDateTime(2026, 3, 1, 0, 30, 0, 0)), "12 am");
    EXPECT_EQ(English("h am/pm", EncodeDateTime(2026, 3, 1, 12, 30, 0, 0)), "12 pm");
    EXPECT_EQ(English("am/pm h"), "pm 15");      // only an am/pm after the hour counts
    EXPECT_EQ(English("h h am/pm"), "15 3 pm");  // ... and before the next hour
    EXPECT_EQ(English("h 'am/pm'"), "15 am/pm"); // quoted text is no directive
    EXPECT_EQ(English("a ap"), "a ap");
    TFormatSettings german = TFormatSettings::English();
    german.TimePMString = "nachm.";
    EXPECT_EQ(FormatDateTime("h ampm", kAfternoon, german), "3 nachm.");
}

TEST(FormatDateTime, SeparatorsQuotesAndOtherCharacters) {
    TFormatSettings settings = TFormatSettings::English();
    settings.DateSeparator = '.';
    settings.TimeSeparator = '-';
    settings.LongMonthNames[2] = "M\xC3\xA4rz";
    EXPECT_EQ(FormatDateTime("d/m/y h:n|d 'de' mmmm", kAfternoon, settings), "1.3.26 15-4|1 de M\xC3\xA4rz");
    EXPECT_EQ(English("'dd' \"mm\"|'it''s'|\"'\" '\"'|"), "dd mm|its|' \"|");
    EXPECT_EQ(English("d 'unterminated|m"), "1 unterminated|m");
    EXPECT_EQ(English("d \""), "1 ");
    EXPECT_EQ(English("d-m_y! \xE2\x82\xAC x q"), "1-3_26! \xE2\x82\xAC x q");
    EXPECT_EQ(English("t  d mmm|t d mmm"), "3:04 PM  1 Mar|3:04 PM 1 Mar");
}

TEST(FormatDateTime, MalformedFormatsStillGiveAResult) {
    EXPECT_EQ(English(std::string(100000, 'd')), "Sunday, March 1, 2026");
    EXPECT_EQ(English(std::string(100000, 'y') + "|" + std::string(1000, 'm')), "2026|March");
    EXPECT_EQ(English(std::string(1000, 'h') + "|" + std::string(1000, 'z')), "15|067");
    EXPECT_EQ(English(std::string(200000, 'h') + " am/pm"), "03 pm");
    EXPECT_EQ(English("a|/|:"), "a|/|:");
    EXPECT_EQ(English("'"), "");
    EXPECT_EQ(English(std::string("d\0m\xFF", 4)), std::string("1\0"
                                                               "3\xFF",
                                                               4));
}

TEST(FormatDateTime, BadValuesFormatAsDayZero) {
    EXPECT_EQ(English("yyyy-mm-dd hh:nn", std::nan("")), "1899-12-30 00:00");
    EXPECT_EQ(English("yyyy-mm-dd hh:nn", -1.25), "1899-12-29 06:00");
}

TEST(FormatDateTime, SelfReferringSettingsFormatsEnd) {
    TFormatSettings settings = TFormatSettings::English();
    settings.ShortDateFormat = "d c ddddd c";
    settings.LongTimeFormat = "tt c";
    settings.ShortTimeFormat = "t";
    const std::string result = FormatDateTime("c t", kAfternoon, settings);
    EXPECT_EQ(result.substr(0, 2), "1 ");
    EXPECT_LT(result.size(), 1000u);
}

// ---- Locale translation ---------------------------------------------------------------------

// Outside quotes a translated format holds only the plain fields and ampm: no nested format
// (c, t, ddddd) and no Qt letter left over to print itself.
void ExpectOnlyPlainDirectives(const TFormatSettings& settings) {
    static const std::regex plain("(?:ampm|d{1,4}(?!d)|m{1,4}(?!m)|(?:yyyy|yy)(?!y)|h{1,2}(?!h)|n{1,2}(?!n)|"
                                  "s{1,2}(?!s)|(?:zzz|z)(?!z))*");
    for (const std::string& format :
         {settings.ShortDateFormat, settings.LongDateFormat, settings.ShortTimeFormat, settings.LongTimeFormat}) {
        std::string letters; // the letters outside quotes, each run of them ended by a blank
        char quote = 0;
        for (const char c : format) {
            if (quote != 0 || c == '\'' || c == '"')
                quote = quote == 0 ? c : c == quote ? 0 : quote;
            letters += quote == 0 && std::isalpha(static_cast<unsigned char>(c)) ? c : ' ';
        }
        EXPECT_EQ(quote, 0) << format;
        for (std::size_t end = 0, start; (start = letters.find_first_not_of(' ', end)) != std::string::npos;) {
            end = std::min(letters.find(' ', start), letters.size());
            EXPECT_TRUE(std::regex_match(letters.substr(start, end - start), plain)) << format;
        }
    }
}

TEST(DirectivesFromQtFormat, TranslatesFieldsLiteralsAndSeparators) {
    EXPECT_EQ(DirectivesFromQtFormat(u"dd.MM.yyyy", false, '.'), "dd/mm/yyyy");
    EXPECT_EQ(DirectivesFromQtFormat(u"ddddd yyyyy", false, '/'), "dddd''d yyyy'y'");
    EXPECT_EQ(DirectivesFromQtFormat(u"d 'de' MMMM, h", false, '/'), "d 'de' mmmm, 'h'");
    EXPECT_EQ(DirectivesFromQtFormat(u"h:mm:ss AP t", true, ':'), "h:nn:ss ampm");
    EXPECT_EQ(DirectivesFromQtFormat(u"H:mm:ss (t)", true, ':'), "h:nn:ss");
    EXPECT_EQ(DirectivesFromQtFormat(u"HH:mm ap", true, ':'), "hh:nn"); // a 24-hour hour: no AM/PM
    EXPECT_EQ(DirectivesFromQtFormat(u"AP h:mm", true, ':'), "h:nn");   // AM/PM must follow the hour
    EXPECT_EQ(DirectivesFromQtFormat(u"h 'o''clock' d/", true, '.'), "h 'o'\"'\"'clock' 'd/'");
    EXPECT_EQ(DirectivesFromQtFormat(u"zzz z 'open", true, ':'), "zzz z 'open'");
}

TEST(TFormatSettings, FromLocaleFormatsLikeTheLocale) {
    const auto format = [](const char* name, const std::string& directives) {
        return FormatDateTime(directives, kAfternoon, TFormatSettings::FromLocale(QLocale(QString::fromLatin1(name))));
    };
    EXPECT_EQ(format("en_US", "c"), "3/1/26 3:04:05 PM");
    EXPECT_EQ(format("de_DE", "c|dddddd"), "01.03.26 15:04:05|Sonntag, 1. M\xC3\xA4rz 2026");
    EXPECT_EQ(format("C", "ddddd tt"), "1 Mar 2026 15:04:05");
    EXPECT_EQ(format("fi_FI", "ddddd t"), "1.3.2026 15.04");
    EXPECT_EQ(format("ko_KR", "tt"), "15\xEC\x8B\x9C 4\xEB\xB6\x84 5\xEC\xB4\x88");
}

// Translated formats give what Qt itself gives, for every locale with ASCII digits. Time formats
// are compared where nothing (time zone, AM/PM) had to be dropped.
TEST(TFormatSettings, FromLocaleAgreesWithQtForEveryLocale) {
    const TDateTime value = EncodeDateTime(2026, 12, 5, 9, 7, 3, 40);
    const QDateTime qtValue(QDate(2026, 12, 5), QTime(9, 7, 3, 40));
    int compared = 0;
    for (const QLocale& locale :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        if (locale.zeroDigit() != QStringLiteral("0"))
            continue;
        SCOPED_TRACE(locale.name().toStdString());
        const TFormatSettings s = TFormatSettings::FromLocale(locale);
        EXPECT_EQ(FormatDateTime(s.ShortDateFormat, value, s),
                  locale.toString(qtValue.date(), QLocale::ShortFormat).toStdString());
        EXPECT_EQ(FormatDateTime(s.LongDateFormat, value, s),
                  locale.toString(qtValue.date(), QLocale::LongFormat).toStdString());
        for (const auto& [qtFormat, ours] : {std::pair(locale.timeFormat(QLocale::ShortFormat), s.ShortTimeFormat),
                                             std::pair(locale.timeFormat(QLocale::LongFormat), s.LongTimeFormat)}) {
            if (!qtFormat.contains(u't') && !qtFormat.contains(u'a') && !qtFormat.contains(u'A')) {
                EXPECT_EQ(FormatDateTime(ours, value, s), locale.toString(qtValue.time(), qtFormat).toStdString());
            }
        }
        ExpectOnlyPlainDirectives(s);
        if (HasFailure())
            return;
        ++compared;
    }
    EXPECT_GT(compared, 100);
}

TEST(TFormatSettings, SystemSettingsAreUsable) {
    const TFormatSettings& settings = TFormatSettings::System();
    ExpectOnlyPlainDirectives(settings);
    EXPECT_FALSE(std::isalnum(static_cast<unsigned char>(settings.DateSeparator)));
    EXPECT_FALSE(std::isalnum(static_cast<unsigned char>(settings.TimeSeparator)));
    EXPECT_NE(FormatDateTime("ddddd", kAfternoon).find("26"), std::string::npos);
    // Each time format shows the part that tells these apart.
    EXPECT_NE(FormatDateTime("t", kAfternoon), FormatDateTime("t", kAfternoon + 60 / kSecondsPerDay));
    EXPECT_NE(FormatDateTime("tt", kAfternoon), FormatDateTime("tt", kAfternoon + 1 / kSecondsPerDay));
    EXPECT_EQ(FormatDateTime("c", kAfternoon), FormatDateTime("ddddd tt", kAfternoon));
}

} // namespace
