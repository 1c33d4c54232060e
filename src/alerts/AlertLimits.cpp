#include "alerts/AlertLimits.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

TWarnZone TAlertLimits::ZoneOf(std::int32_t balance) const {
    if (WarnBelow && balance < *WarnBelow)
        return TWarnZone::Below;
    if (WarnAbove && balance > *WarnAbove)
        return TWarnZone::Above;
    return TWarnZone::None;
}

std::optional<std::int32_t> TAlertLimits::LimitOf(TWarnZone zone) const {
    switch (zone) {
    case TWarnZone::Below:
        return WarnBelow;
    case TWarnZone::Above:
        return WarnAbove;
    case TWarnZone::None:
        break;
    }
    return std::nullopt;
}

TLimitVerdict ApplyCheckToLimits(TAlertLimits& limits, std::optional<std::int32_t> balanceRead) {
    TLimitVerdict verdict;
    if (!balanceRead) {
        // Capped, so a watch failing for years never wraps round to a new notice.
        if (limits.FailedInARow < std::numeric_limits<std::int32_t>::max())
            ++limits.FailedInARow;
        verdict.FailureNotice = limits.FailuresBeforeNotice > 0 && limits.FailedInARow == limits.FailuresBeforeNotice;
        verdict.FailedInARow = limits.FailedInARow;
        return verdict;
    }
    verdict.ReadableAgain = limits.FailureNoticeDue();
    limits.FailedInARow = 0;
    const TWarnZone zone = limits.ZoneOf(*balanceRead);
    if (zone != TWarnZone::None && zone != limits.WarnedZone) {
        verdict.NewWarning = zone;
        verdict.Limit = limits.LimitOf(zone).value_or(0);
    }
    // Back on the good side ends the stay: the next crossing is told again.
    limits.WarnedZone = zone;
    return verdict;
}

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsSeparator(char c) {
    return c == '.' || c == ',';
}

// Blanks as people type them between groups of digits: space, tab, no-break space (U+00A0) and
// narrow no-break space (U+202F), which some locales put between thousands.
std::size_t BlankAt(std::string_view text, std::size_t i) {
    if (text[i] == ' ' || text[i] == '\t')
        return 1;
    if (text.substr(i, 2) == "\xC2\xA0")
        return 2;
    if (text.substr(i, 3) == "\xE2\x80\xAF")
        return 3;
    return 0;
}

// A currency sign or code around the number: anything but digits, signs, separators and blanks.
bool IsCurrencyByte(char c) {
    return !IsDigit(c) && !IsSeparator(c) && c != '-' && c != '+' && c != ' ' && c != '\t';
}

// What may stand around an amount: nothing, a currency sign (any character beyond ASCII, or "$"),
// or a three-letter currency code in capitals ("EUR"). A stray letter ("12a") is no amount.
bool IsCurrencyMark(std::string_view mark) {
    if (mark.empty())
        return true;
    if (mark.size() == 3 && std::all_of(mark.begin(), mark.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
        return true;
    return std::all_of(mark.begin(), mark.end(),
                       [](char c) { return c == '$' || static_cast<unsigned char>(c) >= 0x80; });
}

// Groups after the first must have three digits, the first one to three (and not a lone 0).
bool ValidGroups(const std::vector<std::string_view>& groups) {
    if (groups.empty() || groups.front().empty() || groups.front().size() > 3 ||
        (groups.size() > 1 && groups.front() == "0"))
        return false;
    for (std::size_t i = 1; i < groups.size(); ++i)
        if (groups[i].size() != 3)
            return false;
    return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == separator) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    return parts;
}

} // namespace

bool ParseAmount(std::string_view text, std::optional<std::int32_t>& hundredths) {
    // Blanks go first: between digits they separate thousands, around the number they mean nothing.
    std::string compact;
    for (std::size_t i = 0; i < text.size();) {
        if (const std::size_t blank = BlankAt(text, i); blank > 0) {
            i += blank;
            continue;
        }
        compact += text[i++];
    }
    std::string_view rest = compact;
    bool negative = false;
    const auto takeSign = [&] {
        if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
            negative = negative || rest.front() == '-';
            rest.remove_prefix(1);
            return true;
        }
        return false;
    };
    // A sign may stand before or after a currency sign in front: "-€50", "€-50".
    const bool signFirst = takeSign();
    std::size_t front = 0, back = 0;
    while (front < rest.size() && IsCurrencyByte(rest[front]))
        ++front;
    while (back < rest.size() - front && IsCurrencyByte(rest[rest.size() - 1 - back]))
        ++back;
    if (!IsCurrencyMark(rest.substr(0, front)) || !IsCurrencyMark(rest.substr(rest.size() - back)))
        return false;
    rest = rest.substr(front, rest.size() - front - back);
    if (!signFirst)
        takeSign();
    if (rest.empty()) {
        if (negative || compact.size() != 0)
            return false; // a sign or a currency sign alone
        hundredths.reset();
        return true;
    }
    for (char c : rest)
        if (!IsDigit(c) && !IsSeparator(c))
            return false;

    const std::size_t dots = static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '.'));
    const std::size_t commas = static_cast<std::size_t>(std::count(rest.begin(), rest.end(), ','));
    std::string_view whole = rest, fraction;
    char group = 0;
    if (dots > 0 && commas > 0) {
        // Both: the last one is the decimal separator, met once, after every group separator.
        const std::size_t last = rest.find_last_of(".,");
        const char decimal = rest[last];
        group = decimal == '.' ? ',' : '.';
        if ((decimal == '.' ? dots : commas) != 1 || rest.find(group, last) != std::string_view::npos)
            return false;
        whole = rest.substr(0, last);
        fraction = rest.substr(last + 1);
    } else if (dots + commas == 1) {
        // One separator: decimals when one or two digits follow it, thousands when three do.
        const std::size_t at = rest.find_first_of(".,");
        const std::size_t after = rest.size() - at - 1;
        if (after == 1 || after == 2) {
            whole = rest.substr(0, at);
            fraction = rest.substr(at + 1);
        } else if (after == 3) {
            group = rest[at];
        } else {
            return false;
        }
    } else if (dots + commas > 1) {
        group = dots > 0 ? '.' : ',';
    }
    if (fraction.size() > 2 || (group == 0 && whole.empty() && fraction.empty()))
        return false;
    std::string digits;
    if (group != 0) {
        const auto groups = Split(whole, group);
        if (!ValidGroups(groups))
            return false;
        for (std::string_view g : groups)
            digits += g;
    } else {
        digits = whole.empty() ? std::string("0") : std::string(whole);
    }
    std::int64_t value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max() / 100)
            return false;
    }
    std::int64_t cents = 0;
    for (std::size_t i = 0; i < 2; ++i)
        cents = cents * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    value = value * 100 + cents;
    if (value > std::numeric_limits<std::int32_t>::max())
        return false;
    hundredths = static_cast<std::int32_t>(negative ? -value : value);
    return true;
}

std::string AmountText(std::int32_t hundredths, const std::string& decimalSeparator) {
    const std::int64_t value = hundredths;
    const std::int64_t magnitude = value < 0 ? -value : value;
    const std::int64_t cents = magnitude % 100;
    return (value < 0 ? "-" : "") + std::to_string(magnitude / 100) + decimalSeparator + (cents < 10 ? "0" : "") +
           std::to_string(cents);
}

std::string StoredLimitText(std::optional<std::int32_t> limit) {
    return limit ? std::to_string(*limit) : std::string();
}

std::optional<std::int32_t> LimitFromStoredText(std::string_view text) {
    if (text.empty() || text.size() > 11)
        return std::nullopt;
    std::size_t i = text.front() == '-' ? 1 : 0;
    if (i == text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i]))
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    if (text.front() == '-')
        value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

const char* WarnZoneName(TWarnZone zone) {
    switch (zone) {
    case TWarnZone::Below:
        return "below";
    case TWarnZone::Above:
        return "above";
    case TWarnZone::None:
        break;
    }
    return "";
}
