#include "discover/BalancePattern.h"

#include "check/MatchPattern.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

constexpr std::size_t kMaxWordsBefore = 16;
constexpr std::size_t kMaxWordsAfter = 3;
constexpr std::size_t kMaxContextBytes = 400;
// What may stand between the words of the context and the number: blanks, no-break spaces, tags.
constexpr const char* kGap = R"((?:\s|&nbsp;|&#160;|\xA0|\xC2\xA0|<[^>]*>)*)";
constexpr const char* kSpaces = R"(\x20|\xA0|\xC2\xA0|&nbsp;|&#160;)";

bool IsBlankAt(std::string_view text, std::size_t i, std::size_t& length) {
    static const std::string_view kBlanks[] = {" ", "\t", "\r", "\n", "\f", "\xC2\xA0", "\xA0", "&nbsp;", "&#160;"};
    for (const std::string_view blank : kBlanks)
        if (text.compare(i, blank.size(), blank) == 0) {
            length = blank.size();
            return true;
        }
    return false;
}

// The words of text, split at blanks.
std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 0;
        if (IsBlankAt(text, i, length)) {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
            i += length;
        } else {
            word += text[i++];
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

std::string NumberPattern(const TPageNumber& number) {
    std::vector<std::string> separators;
    const bool spaced = !number.GroupSeparator.empty() &&
                        std::string_view(",.'").find(number.GroupSeparator[0]) == std::string_view::npos;
    if (number.Decimal == '.')
        separators = {",", "'"};
    else if (number.Decimal == ',')
        separators = {"\\.", "'"};
    else if (!number.GroupSeparator.empty() && !spaced)
        separators = {EscapeForPattern(number.GroupSeparator)};
    if (spaced)
        separators.emplace_back(kSpaces);
    std::string units = R"(\d)";
    if (!separators.empty()) {
        std::string alternatives;
        for (const std::string& separator : separators)
            alternatives += "|" + separator;
        units = R"(\d(?:\d)" + alternatives + ")*?";
    } else {
        units = R"(\d+?)";
    }
    // The check's matching is ungreedy: "*?" and "+?" take as much as they can.
    std::string pattern = "(-?" + units + ")";
    if (number.Decimal != 0)
        pattern += std::string("(") + (number.Decimal == '.' ? "\\." : ",") + R"()(\d\d))";
    // The check cannot take a minus written after the number: on a page that writes debts so
    // ("12.50-"), the pattern finds nothing then rather than reading a positive balance. A dash
    // before a digit, as in a range, is no sign.
    pattern += number.Decimal != 0 ? R"((?!-(?!\d)))" : R"((?!\d|-(?!\d)))";
    return pattern;
}

std::size_t RunOf(const THtmlScan& scan, std::size_t offset) {
    const auto it = std::upper_bound(scan.Texts.begin(), scan.Texts.end(), offset,
                                     [](std::size_t value, const TTextRun& run) { return value < run.Start; });
    return static_cast<std::size_t>(it - scan.Texts.begin()) - 1;
}

} // namespace

std::string EscapeForPattern(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 && byte < 0x80) {
            out += c;
        } else if (byte > 0x20 && byte < 0x7F) {
            out += '\\';
            out += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        }
    }
    return out;
}

std::string FieldValuePattern(std::string_view page, const THtmlField& field) {
    if (field.TagStart == std::string::npos || field.ValueStart < field.TagStart || field.ValueStart > page.size())
        return {};
    std::string pattern;
    bool blank = false;
    for (const char c : page.substr(field.TagStart, field.ValueStart - field.TagStart)) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
            if (!blank)
                pattern += R"(\s+)";
            blank = true;
            continue;
        }
        blank = false;
        pattern += EscapeForPattern(std::string_view(&c, 1));
    }
    if (field.Quote == '"')
        pattern += R"x(([^"]*?)")x";
    else if (field.Quote == '\'')
        pattern += R"x(([^']*?)')x";
    else
        pattern += R"(([^\s>]*?))";
    return pattern;
}

TBalancePattern BuildBalancePattern(const THtmlScan& scan, const TPageNumber& number) {
    TBalancePattern result;
    const std::string& page = scan.Page();
    const std::string written = page.substr(number.Start, number.Length);
    if (number.TrailingMinus || written.rfind("\xE2\x88\x92", 0) == 0) {
        result.Problem = 2153;
        return result;
    }
    if (number.Hundredths > std::numeric_limits<std::int32_t>::max() ||
        number.Hundredths < std::numeric_limits<std::int32_t>::min() + 1) {
        result.Problem = 2152;
        return result;
    }
    if (scan.Texts.empty() || number.Start < scan.Texts.front().Start) {
        result.Problem = 2149;
        return result;
    }
    const std::size_t run = RunOf(scan, number.Start);
    const TTextRun& own = scan.Texts[run];

    // Words before the number, nearest first, through the runs before its own.
    std::vector<std::string> before;
    std::size_t bytes = 0;
    std::vector<std::string> words = Words(std::string_view(page).substr(own.Start, number.Start - own.Start));
    for (std::size_t r = run + 1; r-- > 0 && before.size() < kMaxWordsBefore && bytes < kMaxContextBytes;) {
        if (r != run)
            words = Words(std::string_view(page).substr(scan.Texts[r].Start, scan.Texts[r].Length));
        for (auto word = words.rbegin(); word != words.rend() && before.size() < kMaxWordsBefore; ++word) {
            bytes += word->size();
            before.push_back(*word);
        }
    }
    // Words after it.
    std::vector<std::string> after;
    const std::size_t end = number.Start + number.Length;
    words = Words(std::string_view(page).substr(end, own.Start + own.Length - end));
    for (std::size_t r = run; r < scan.Texts.size() && after.size() < kMaxWordsAfter; ++r) {
        if (r != run)
            words = Words(std::string_view(page).substr(scan.Texts[r].Start, scan.Texts[r].Length));
        for (std::size_t w = 0; w < words.size() && after.size() < kMaxWordsAfter; ++w)
            after.push_back(words[w]);
    }

    const std::string numberPattern = NumberPattern(number);
    std::vector<std::string> list;
    std::vector<std::size_t> starts;
    for (std::size_t k = before.empty() ? 0 : 1; k <= before.size(); ++k) {
        std::string head;
        for (std::size_t w = k; w > 0; --w)
            head += EscapeForPattern(before[w - 1]) + kGap;
        std::string tail;
        for (std::size_t a = 0; a <= after.size(); ++a) {
            if (a > 0)
                tail += kGap + EscapeForPattern(after[a - 1]);
            const std::string pattern = head + numberPattern + tail;
            const TCompiledPattern compiled(pattern, false);
            if (compiled.Match(page, list, &starts) != mrMatched || starts.size() < 2 || starts[1] != number.Start ||
                list[1].size() + (number.Decimal != 0 ? 3 : 0) != number.Length)
                continue;
            if (BalanceFromMatches(list) != std::optional<std::int32_t>(static_cast<std::int32_t>(number.Hundredths)))
                continue;
            result.Pattern = pattern;
            return result;
        }
    }
    result.Problem = 2150;
    return result;
}

std::optional<std::int32_t> ReadBalance(const std::string& pattern, std::string_view page) {
    std::vector<std::string> list;
    if (MatchPattern(pattern, page, list) != mrMatched)
        return std::nullopt;
    return BalanceFromMatches(list);
}
