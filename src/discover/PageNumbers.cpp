#include "discover/PageNumbers.h"

#include "platform/Strings.h"

#include <QString>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr std::size_t kContextBefore = 40; // characters shown before a number
constexpr std::size_t kContextAfter = 30;  // and after it
constexpr std::size_t kContextBytes = 160; // raw bytes read for either side

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool DigitAt(std::string_view text, std::size_t i) {
    return i < text.size() && IsDigit(text[i]);
}

// The length of a blank that may separate groups of thousands at `i`, or 0.
std::size_t SpaceLength(std::string_view text, std::size_t i) {
    static const std::string_view kSpaces[] = {" ", "\xC2\xA0", "\xE2\x80\xAF", "\xA0", "&nbsp;", "&#160;", "&#xa0;"};
    for (const std::string_view space : kSpaces)
        if (AsciiEqualNoCase(text.substr(i, space.size()), space))
            return space.size();
    return 0;
}

// Blanks of every kind collapsed into one space, no-break spaces included.
std::string CollapseBlanks(std::string_view text) {
    std::string out;
    bool blank = false;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 0;
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f')
            length = 1;
        else if (text.compare(i, 2, "\xC2\xA0") == 0)
            length = 2;
        else if (text.compare(i, 3, "\xE2\x80\xAF") == 0)
            length = 3;
        if (length > 0) {
            blank = true;
            i += length;
            continue;
        }
        if (blank)
            out += ' ';
        blank = false;
        out += c;
        ++i;
    }
    if (blank)
        out += ' ';
    return out;
}

} // namespace

std::vector<TPageNumber> ScanNumbers(std::string_view text) {
    std::vector<TPageNumber> numbers;
    std::size_t i = 0;
    while (i < text.size()) {
        if (!IsDigit(text[i])) {
            ++i;
            continue;
        }
        const auto skipToken = [&](std::size_t from) {
            while (from < text.size() && (std::isalnum(static_cast<unsigned char>(text[from])) != 0 ||
                                          std::string_view(".,:/_-").find(text[from]) != std::string_view::npos))
                ++from;
            i = from;
        };
        // A digit inside a word or a longer token ("A4", "v2", "10.12.2026", "2026-12-01") starts no
        // number.
        if (i > 0 && (std::isalnum(static_cast<unsigned char>(text[i - 1])) != 0 ||
                      std::string_view("._/:").find(text[i - 1]) != std::string_view::npos ||
                      (text[i - 1] == '-' && i > 1 && IsDigit(text[i - 2])))) {
            skipToken(i);
            continue;
        }
        const std::size_t start = i;
        std::size_t j = i;
        while (DigitAt(text, j))
            ++j;
        std::string digits(text.substr(i, j - i));
        std::string group;
        if (digits.size() <= 3) {
            while (j < text.size()) {
                std::size_t sepLength = std::string_view(",.'").find(text[j]) != std::string_view::npos ? 1 : 0;
                if (sepLength == 0)
                    sepLength = SpaceLength(text, j);
                if (sepLength == 0)
                    break;
                const std::string_view sep = text.substr(j, sepLength);
                const std::size_t next = j + sepLength;
                if ((!group.empty() && sep != group) || !DigitAt(text, next) || !DigitAt(text, next + 1) ||
                    !DigitAt(text, next + 2) || DigitAt(text, next + 3))
                    break;
                group = std::string(sep);
                digits += text.substr(next, 3);
                j = next + 3;
            }
        }
        char decimal = 0;
        std::int64_t cents = 0;
        if (j < text.size() && (text[j] == '.' || text[j] == ',') && group != std::string(1, text[j]) &&
            DigitAt(text, j + 1) && DigitAt(text, j + 2) && !DigitAt(text, j + 3)) {
            decimal = text[j];
            cents = (text[j + 1] - '0') * 10 + (text[j + 2] - '0');
            j += 3;
        }
        // A number that runs on into more digits is a date, a time, an address or a version.
        if (DigitAt(text, j) ||
            (j + 1 < text.size() && std::string_view(".,:/-").find(text[j]) != std::string_view::npos &&
             IsDigit(text[j + 1]))) {
            skipToken(j);
            continue;
        }
        i = j;
        if (digits.size() > 15)
            continue;
        TPageNumber number;
        number.Start = start;
        bool negative = false;
        if (start > 0 && text[start - 1] == '-') {
            negative = true;
            number.Start = start - 1;
        } else if (start >= 3 && text.compare(start - 3, 3, "\xE2\x88\x92") == 0) {
            negative = true;
            number.Start = start - 3;
        } else if (j < text.size() && text[j] == '-' && !DigitAt(text, j + 1)) {
            negative = true;
            number.TrailingMinus = true;
            i = ++j;
        }
        const std::int64_t units = std::strtoll(digits.c_str(), nullptr, 10);
        number.Hundredths = (units * 100 + cents) * (negative ? -1 : 1);
        number.Length = j - number.Start;
        number.Decimal = decimal;
        number.GroupSeparator = group;
        numbers.push_back(std::move(number));
    }
    return numbers;
}

namespace {

// The last characters of the text before a number, beginning with a whole word.
std::string ContextBefore(const QString& text) {
    const auto limit = static_cast<qsizetype>(kContextBefore);
    if (text.size() <= limit)
        return text.toStdString();
    QString cut = text.right(limit);
    const qsizetype blank = cut.indexOf(QLatin1Char(' '));
    if (text.at(text.size() - limit - 1) != QLatin1Char(' ') && blank > 0)
        cut.remove(0, blank);
    return cut.toStdString();
}

// The first characters of the text after a number, ending with a whole word.
std::string ContextAfter(const QString& text) {
    const auto limit = static_cast<qsizetype>(kContextAfter);
    if (text.size() <= limit)
        return text.toStdString();
    QString cut = text.left(limit);
    const qsizetype blank = cut.lastIndexOf(QLatin1Char(' '));
    if (text.at(limit) != QLatin1Char(' ') && blank > 0)
        cut.truncate(blank);
    return cut.toStdString();
}

} // namespace

std::vector<TPageNumber> ListNumbers(const THtmlScan& scan) {
    std::vector<TPageNumber> numbers;
    const std::string_view page = scan.Page();
    const std::vector<TTextRun>& runs = scan.Texts;
    // The page's text as shown, decoded once: runs joined by a blank, blanks collapsed. A number's
    // context is cut from it around the number's own run.
    std::string shown;
    std::vector<std::size_t> runStart(runs.size()), runEnd(runs.size());
    const auto append = [&](std::string& to, std::string piece) {
        if (!to.empty() && to.back() != ' ' && (piece.empty() || piece.front() != ' '))
            to += ' ';
        if (!to.empty() && to.back() == ' ' && !piece.empty() && piece.front() == ' ')
            piece.erase(0, 1);
        to += piece;
    };
    for (std::size_t r = 0; r < runs.size(); ++r) {
        append(shown, CollapseBlanks(scan.Decode(page.substr(runs[r].Start, runs[r].Length))));
        runStart[r] = r == 0 ? 0 : runEnd[r - 1];
        runEnd[r] = shown.size();
    }
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const std::string_view run = page.substr(runs[r].Start, runs[r].Length);
        for (TPageNumber number : ScanNumbers(run)) {
            const std::size_t from = number.Start > kContextBytes ? number.Start - kContextBytes : 0;
            const std::size_t end = number.Start + number.Length;
            std::string before = shown.substr(runStart[r] > kContextBytes ? runStart[r] - kContextBytes : 0,
                                              std::min(runStart[r], kContextBytes));
            append(before, CollapseBlanks(scan.Decode(run.substr(from, number.Start - from))));
            std::string after = CollapseBlanks(scan.Decode(run.substr(end, kContextBytes)));
            append(after, shown.substr(runEnd[r], kContextBytes));
            number.Written = CollapseBlanks(scan.Decode(run.substr(number.Start, number.Length)));
            number.Context = Trim(ContextBefore(QString::fromStdString(before)) + number.Written +
                                  ContextAfter(QString::fromStdString(after)));
            number.Start += runs[r].Start;
            number.Index = numbers.size() + 1;
            numbers.push_back(std::move(number));
        }
    }
    return numbers;
}

std::string FormatHundredths(std::int64_t hundredths) {
    const std::int64_t magnitude = hundredths < 0 ? -hundredths : hundredths;
    std::string cents = std::to_string(magnitude % 100);
    if (cents.size() < 2)
        cents.insert(0, "0");
    return (hundredths < 0 ? "-" : "") + std::to_string(magnitude / 100) + "." + cents;
}
