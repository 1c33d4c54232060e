#include "platform/FormatDateTime.h"

#include "platform/Strings.h"

#include <QLocale>

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// ---- Formatting -----------------------------------------------------------------------------

// Nested formats (c, ddddd, t...) expand at most this deep, so a settings format that names
// itself, or another nested format, still ends.
constexpr int kMaxNesting = 2;

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool StartsWithNoCase(std::string_view text, std::size_t pos, std::string_view word) {
    if (text.size() - pos < word.size())
        return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
        if (AsciiLower(text[pos + k]) != word[k])
            return false;
    }
    return true;
}

// Length of the am/pm directive at pos: "am/pm" 5, "a/p" 3, "ampm" 4, none 0.
std::size_t AmPmLength(std::string_view format, std::size_t pos) {
    if (StartsWithNoCase(format, pos, "am/pm"))
        return 5;
    if (StartsWithNoCase(format, pos, "a/p"))
        return 3;
    if (StartsWithNoCase(format, pos, "ampm"))
        return 4;
    return 0;
}

// Index of the quote closing the one at pos, or the end of the format when it is unterminated.
std::size_t ClosingQuote(std::string_view format, std::size_t pos) {
    const std::size_t close = format.find(format[pos], pos + 1);
    return close == std::string_view::npos ? format.size() : close;
}

// An hour directive ending at pos reads a 12-hour clock when an am/pm directive follows it
// before the next hour directive.
bool TwelveHourClockFollows(std::string_view format, std::size_t pos) {
    while (pos < format.size()) {
        const char c = AsciiLower(format[pos]);
        if (c == '\'' || c == '"') {
            pos = ClosingQuote(format, pos) + 1;
            continue;
        }
        if (c == 'h')
            return false;
        if (c == 'a' && AmPmLength(format, pos) > 0)
            return true;
        ++pos;
    }
    return false;
}

void AppendNumber(std::string& out, int value, int minDigits) {
    char digits[12];
    int count = 0;
    unsigned rest = value < 0 ? 0u : static_cast<unsigned>(value);
    do {
        digits[count++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    for (int k = count; k < minDigits; ++k)
        out += '0';
    while (count > 0)
        out += digits[--count];
}

class TFormatter {
public:
    TFormatter(const TFormatSettings& settings, TDateTime value)
        : m_settings(settings), m_time(DecodeDateTime(value)) {}

    void Append(std::string_view format, int depth);
    std::string Take() { return std::move(m_out); }

private:
    void AppendNested(const std::string& format, int depth) {
        if (depth < kMaxNesting)
            Append(format, depth + 1);
    }
    void AppendDirective(std::string_view format, std::size_t pos, char letter, std::size_t count, char lastLetter,
                         int depth);

    const TFormatSettings& m_settings;
    const TDecodedDateTime m_time;
    std::string m_out;
};

void TFormatter::Append(std::string_view format, int depth) {
    char lastLetter = 0; // the last letter read, lower case: m right after h means minutes
    std::size_t pos = 0;
    while (pos < format.size()) {
        const char c = format[pos];
        if (c == '\'' || c == '"') {
            const std::size_t close = ClosingQuote(format, pos);
            m_out.append(format.substr(pos + 1, close - pos - 1));
            pos = std::min(close + 1, format.size());
            continue;
        }
        if (c == '/' || c == ':') {
            m_out += c == '/' ? m_settings.DateSeparator : m_settings.TimeSeparator;
            ++pos;
            continue;
        }
        if (!IsLetter(c)) {
            m_out += c;
            ++pos;
            continue;
        }

        const char letter = AsciiLower(c);
        if (letter == 'a') {
            // am/pm and a/p copy their own letters, so the output follows the format's case.
            const std::size_t length = AmPmLength(format, pos);
            const bool pm = m_time.Hour >= 12;
            if (length == 5)
                m_out.append(format.substr(pos + (pm ? 3 : 0), 2));
            else if (length == 3)
                m_out += format[pos + (pm ? 2 : 0)];
            else if (length == 4)
                m_out += pm ? m_settings.TimePMString : m_settings.TimeAMString;
            else
                m_out += c;
            pos += std::max<std::size_t>(length, 1);
            lastLetter = letter;
            continue;
        }

        std::size_t count = 1;
        while (pos + count < format.size() && AsciiLower(format[pos + count]) == letter)
            ++count;
        AppendDirective(format, pos, letter, count, lastLetter, depth);
        lastLetter = letter;
        pos += count;
    }
}

// A run of `count` copies of `letter` (any case) at pos.
void TFormatter::AppendDirective(std::string_view format, std::size_t pos, char letter, std::size_t count,
                                 char lastLetter, int depth) {
    const TDecodedDateTime& t = m_time;
    const int width = count >= 2 ? 2 : 1;
    switch (letter) {
    case 'c':
        AppendNested(m_settings.ShortDateFormat, depth);
        if (t.Hour != 0 || t.Minute != 0 || t.Second != 0 || t.Msec != 0) {
            m_out += ' ';
            AppendNested(m_settings.LongTimeFormat, depth);
        }
        break;
    case 'd':
        if (count <= 2)
            AppendNumber(m_out, t.Day, width);
        else if (count == 3)
            m_out += m_settings.ShortDayNames[t.DayOfWeek % 7];
        else if (count == 4)
            m_out += m_settings.LongDayNames[t.DayOfWeek % 7];
        else if (count == 5)
            AppendNested(m_settings.ShortDateFormat, depth);
        else
            AppendNested(m_settings.LongDateFormat, depth);
        break;
    case 'm':
        if (count <= 2)
            AppendNumber(m_out, lastLetter == 'h' ? t.Minute : t.Month, width);
        else if (count == 3)
            m_out += m_settings.ShortMonthNames[t.Month - 1];
        else
            m_out += m_settings.LongMonthNames[t.Month - 1];
        break;
    case 'y':
        if (count <= 2)
            AppendNumber(m_out, t.Year % 100, 2);
        else
            AppendNumber(m_out, t.Year, 4);
        break;
    case 'h': {
        int hour = t.Hour;
        if (TwelveHourClockFollows(format, pos + count))
            hour = hour % 12 == 0 ? 12 : hour % 12;
        AppendNumber(m_out, hour, width);
        break;
    }
    case 'n':
        AppendNumber(m_out, t.Minute, width);
        break;
    case 's':
        AppendNumber(m_out, t.Second, width);
        break;
    case 'z':
        AppendNumber(m_out, t.Msec, count >= 3 ? 3 : 1);
        break;
    case 't':
        AppendNested(count == 1 ? m_settings.ShortTimeFormat : m_settings.LongTimeFormat, depth);
        break;
    default:
        m_out.append(format.substr(pos, count));
        break;
    }
}

// ---- Qt formats -----------------------------------------------------------------------------

struct TQtPiece {
    enum class Kind { Text, Field, AmPm, Zone };
    Kind kind = Kind::Text;
    QString text;          // Text: the literal characters
    std::string directive; // Field, AmPm: what it becomes
    bool hour = false;     // Field: an hour
    bool twelveHour = false;
};

bool HasAmPmOutsideQuotes(QStringView format) {
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        else if (!quoted && (c == u'a' || c == u'A'))
            return true;
    }
    return false;
}

// Splits a Qt format the way QDate::toString (date) or QTime::toString (time) reads it.
std::vector<TQtPiece> ParseQtFormat(QStringView format, bool timeFormat) {
    std::vector<TQtPiece> pieces;
    const auto addText = [&pieces](QStringView text) {
        if (pieces.empty() || pieces.back().kind != TQtPiece::Kind::Text)
            pieces.push_back({});
        pieces.back().text += text;
    };
    const bool twelveHour = timeFormat && HasAmPmOutsideQuotes(format);
    const qsizetype size = format.size();

    qsizetype i = 0;
    while (i < size) {
        const char16_t c = format[i].unicode();
        if (c == u'\'') {
            // '' is a quote; 'text' is literal, with '' inside standing for a quote.
            ++i;
            if (i < size && format[i] == u'\'') {
                addText(u"'");
                ++i;
                continue;
            }
            QString literal;
            while (i < size) {
                if (format[i] != u'\'') {
                    literal += format[i++];
                } else if (i + 1 < size && format[i + 1] == u'\'') {
                    literal += u'\'';
                    i += 2;
                } else {
                    ++i;
                    break;
                }
            }
            addText(literal);
            continue;
        }

        qsizetype repeat = 1;
        while (i + repeat < size && format[i + repeat] == format[i])
            ++repeat;
        TQtPiece piece;
        piece.kind = TQtPiece::Kind::Field;
        qsizetype used = 0;
        if (!timeFormat) {
            switch (c) {
            case u'y':
                used = repeat >= 4 ? 4 : repeat >= 2 ? 2 : 0;
                piece.directive = used == 4 ? "yyyy" : "yy";
                break;
            case u'M':
                used = std::min<qsizetype>(repeat, 4);
                piece.directive.assign(static_cast<std::size_t>(used), 'm');
                break;
            case u'd':
                used = std::min<qsizetype>(repeat, 4);
                piece.directive.assign(static_cast<std::size_t>(used), 'd');
                break;
            default:
                break;
            }
        } else {
            switch (c) {
            case u'h':
            case u'H':
                used = std::min<qsizetype>(repeat, 2);
                piece.directive.assign(static_cast<std::size_t>(used), 'h');
                piece.hour = true;
                piece.twelveHour = c == u'h' && twelveHour;
                break;
            case u'm':
            case u's':
                used = std::min<qsizetype>(repeat, 2);
                piece.directive.assign(static_cast<std::size_t>(used), c == u'm' ? 'n' : 's');
                break;
            case u'z':
                used = repeat >= 3 ? 3 : 1;
                piece.directive = used == 3 ? "zzz" : "z";
                break;
            case u'a':
            case u'A':
                used = i + 1 < size && format[i + 1] == (c == u'a' ? u'p' : u'P') ? 2 : 1;
                piece.kind = TQtPiece::Kind::AmPm;
                piece.directive = "ampm";
                break;
            case u't':
                used = 1;
                piece.kind = TQtPiece::Kind::Zone;
                break;
            default:
                break;
            }
        }
        if (used == 0) {
            addText(format.mid(i, repeat));
            i += repeat;
        } else {
            pieces.push_back(std::move(piece));
            i += used;
        }
    }
    return pieces;
}

bool IsText(const std::vector<TQtPiece>& pieces, std::size_t index) {
    return index < pieces.size() && pieces[index].kind == TQtPiece::Kind::Text;
}

// Removes a piece together with the blank that set it apart, and brackets left empty around it.
void RemovePiece(std::vector<TQtPiece>& pieces, std::size_t index) {
    QString* before = index > 0 && IsText(pieces, index - 1) ? &pieces[index - 1].text : nullptr;
    QString* after = IsText(pieces, index + 1) ? &pieces[index + 1].text : nullptr;
    if (before && after && before->endsWith(u'(') && after->startsWith(u')')) {
        before->chop(1);
        after->remove(0, 1);
    }
    if (before) {
        while (!before->isEmpty() && before->back().isSpace())
            before->chop(1);
    } else if (after) {
        while (!after->isEmpty() && after->front().isSpace())
            after->remove(0, 1);
    }
    pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(index));
}

void RemoveKind(std::vector<TQtPiece>& pieces, TQtPiece::Kind kind) {
    for (std::size_t k = pieces.size(); k-- > 0;) {
        if (pieces[k].kind == kind)
            RemovePiece(pieces, k);
    }
}

// Drops what the directive language cannot say: the time zone, and AM/PM unless every hour is a
// 12-hour one with AM/PM after it (the directive language only looks ahead for it).
void Simplify(std::vector<TQtPiece>& pieces) {
    RemoveKind(pieces, TQtPiece::Kind::Zone);
    bool amPmAfter = false;
    bool keepAmPm = true;
    for (std::size_t k = pieces.size(); k-- > 0;) {
        if (pieces[k].kind == TQtPiece::Kind::AmPm)
            amPmAfter = true;
        else if (pieces[k].hour && (!pieces[k].twelveHour || !amPmAfter))
            keepAmPm = false;
    }
    if (!keepAmPm)
        RemoveKind(pieces, TQtPiece::Kind::AmPm);
}

// The first ASCII punctuation after a field, as the locale's separator.
char SeparatorOf(const std::vector<TQtPiece>& pieces, char fallback) {
    bool afterField = false;
    for (const TQtPiece& piece : pieces) {
        if (piece.kind != TQtPiece::Kind::Text) {
            afterField = true;
            continue;
        }
        if (!afterField)
            continue;
        for (const QChar c : piece.text) {
            const char16_t u = c.unicode();
            if (u > 0x20 && u < 0x7f && !c.isLetterOrNumber() && u != u'\'' && u != u'"')
                return static_cast<char>(u);
        }
    }
    return fallback;
}

// Literal text in the directive language: the separator becomes its directive; letters, quotes,
// '/' and ':' are quoted.
void AppendLiteral(std::string& out, const std::string& text, char separator, char separatorDirective) {
    bool open = false;
    const auto close = [&] {
        if (open)
            out += '\'';
        open = false;
    };
    for (const char c : text) {
        if (separator != 0 && c == separator) {
            close();
            out += separatorDirective;
        } else if (c == '\'') {
            close();
            out += "\"'\"";
        } else if (IsLetter(c) || c == '"' || c == '/' || c == ':') {
            if (!open)
                out += '\'';
            open = true;
            out += c;
        } else {
            close();
            out += c;
        }
    }
    close();
}

std::string EmitDirectives(const std::vector<TQtPiece>& pieces, char separator, char separatorDirective) {
    std::string out;
    char lastDirective = 0; // the last letter of a directive just written
    for (const TQtPiece& piece : pieces) {
        if (piece.kind == TQtPiece::Kind::Text) {
            if (!piece.text.isEmpty()) {
                AppendLiteral(out, piece.text.toStdString(), separator, separatorDirective);
                lastDirective = 0;
            }
            continue;
        }
        // An empty quote keeps "dddd" + "d" from reading as "ddddd".
        if (lastDirective != 0 && lastDirective == AsciiLower(piece.directive.front()))
            out += "''";
        out += piece.directive;
        lastDirective = AsciiLower(piece.directive.back());
    }
    return out;
}

template <std::size_t N>
void FillNames(std::array<std::string, N>& names, const char* const (&source)[N]) {
    std::copy(std::begin(source), std::end(source), names.begin());
}

} // namespace

std::string DirectivesFromQtFormat(QStringView qtFormat, bool timeFormat, char separator) {
    std::vector<TQtPiece> pieces = ParseQtFormat(qtFormat, timeFormat);
    Simplify(pieces);
    return EmitDirectives(pieces, separator, timeFormat ? ':' : '/');
}

TFormatSettings TFormatSettings::FromLocale(const QLocale& locale) {
    TFormatSettings s;
    const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
    const QString shortTime = locale.timeFormat(QLocale::ShortFormat);
    s.DateSeparator = SeparatorOf(ParseQtFormat(shortDate, false), '/');
    s.TimeSeparator = SeparatorOf(ParseQtFormat(shortTime, true), ':');
    s.ShortDateFormat = DirectivesFromQtFormat(shortDate, false, s.DateSeparator);
    s.LongDateFormat = DirectivesFromQtFormat(locale.dateFormat(QLocale::LongFormat), false, s.DateSeparator);
    s.ShortTimeFormat = DirectivesFromQtFormat(shortTime, true, s.TimeSeparator);
    s.LongTimeFormat = DirectivesFromQtFormat(locale.timeFormat(QLocale::LongFormat), true, s.TimeSeparator);
    s.TimeAMString = locale.amText().toStdString();
    s.TimePMString = locale.pmText().toStdString();
    for (int month = 1; month <= 12; ++month) {
        s.ShortMonthNames[month - 1] = locale.monthName(month, QLocale::ShortFormat).toStdString();
        s.LongMonthNames[month - 1] = locale.monthName(month, QLocale::LongFormat).toStdString();
    }
    for (int day = 1; day <= 7; ++day) { // Qt counts from Monday = 1, the names from Sunday = 0
        s.ShortDayNames[day % 7] = locale.dayName(day, QLocale::ShortFormat).toStdString();
        s.LongDayNames[day % 7] = locale.dayName(day, QLocale::LongFormat).toStdString();
    }
    return s;
}

TFormatSettings TFormatSettings::FromSystemLocale() {
    return FromLocale(QLocale::system());
}

TFormatSettings TFormatSettings::English() {
    static const char* const kShortMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const kLongMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                                "July",    "August",   "September", "October", "November", "December"};
    static const char* const kShortDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kLongDays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                             "Thursday", "Friday", "Saturday"};
    TFormatSettings s;
    FillNames(s.ShortMonthNames, kShortMonths);
    FillNames(s.LongMonthNames, kLongMonths);
    FillNames(s.ShortDayNames, kShortDays);
    FillNames(s.LongDayNames, kLongDays);
    return s;
}

const TFormatSettings& TFormatSettings::System() {
    static const TFormatSettings settings = FromSystemLocale();
    return settings;
}

std::string FormatDateTime(const std::string& format, TDateTime value) {
    return FormatDateTime(format, value, TFormatSettings::System());
}

std::string FormatDateTime(const std::string& format, TDateTime value, const TFormatSettings& settings) {
    TFormatter formatter(settings, value);
    formatter.Append(format.empty() ? std::string_view("c") : std::string_view(format), 0);
    return formatter.Take();
}
