#pragma once

#include "platform/DateTime.h"

#include <QStringView>

#include <array>
#include <string>

class QLocale;

// Names, separators and formats that FormatDateTime draws on, in the directive language of
// FormatDateTime itself (not Qt's). FromSystemLocale() translates the system locale's formats.
// Texts are UTF-8.
struct TFormatSettings {
    char DateSeparator = '/';
    char TimeSeparator = ':';
    std::string ShortDateFormat = "m/d/yyyy";
    std::string LongDateFormat = "dddd, mmmm d, yyyy";
    std::string ShortTimeFormat = "h:nn ampm";
    std::string LongTimeFormat = "h:nn:ss ampm";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    std::array<std::string, 12> ShortMonthNames;
    std::array<std::string, 12> LongMonthNames;
    std::array<std::string, 7> ShortDayNames; // [0] = Sunday
    std::array<std::string, 7> LongDayNames;  // [0] = Sunday

    static TFormatSettings FromSystemLocale();
    static TFormatSettings FromLocale(const QLocale& locale);
    static TFormatSettings English();       // the defaults above with English names; for tests
    static const TFormatSettings& System(); // FromSystemLocale(), computed once
};

// Formats a date-time with the directives c, d..dddddd, m..mmmm, yy, yyyy, h, hh, n, nn, s, ss,
// z, zzz, t, tt, am/pm, a/p, ampm, '/', ':' and quoted literals; other characters are copied.
// Any format text gives a result; an empty format means "c".
std::string FormatDateTime(const std::string& format, TDateTime value);
std::string FormatDateTime(const std::string& format, TDateTime value, const TFormatSettings& settings);

// Translates a Qt date format (timeFormat false: only d, M, y are fields) or time format (h, H, m,
// s, z, AP, t) into directives. Literal characters equal to `separator` become the '/' or ':'
// directive; other literal letters, quotes, '/' and ':' are quoted. The time zone (t) is dropped,
// and so is AM/PM when it cannot mark a 12-hour clock in the directive language (it must follow
// the hour there), which leaves a 24-hour clock.
std::string DirectivesFromQtFormat(QStringView qtFormat, bool timeFormat, char separator);
