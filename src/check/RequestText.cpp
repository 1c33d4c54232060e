#include "check/RequestText.h"

#include "platform/FormatDateTime.h"
#include "platform/Strings.h"

#include <ctime>

std::string UrlEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')) {
            out += c;
        } else if (byte == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

std::int32_t TickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

std::string ReplaceAllNoCase(std::string_view text, std::string_view placeholder, std::string_view replacement) {
    if (placeholder.empty())
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (i + placeholder.size() <= text.size() &&
            AsciiEqualNoCase(text.substr(i, placeholder.size()), placeholder)) {
            out += replacement;
            i += placeholder.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string SubstitutePlaceholders(std::string_view text, const std::string& login, const std::string& password,
                                   std::int32_t tickCount) {
    std::string out = ReplaceAllNoCase(text, "{RAND}", std::to_string(tickCount));
    out = ReplaceAllNoCase(out, "{PASSWORD}", UrlEncode(password));
    out = ReplaceAllNoCase(out, "{LOGIN}", UrlEncode(login));

    // Each placeholder is replaced by the date in its format. The search goes on after the inserted
    // date, so a format whose quoted text spells the placeholder again cannot loop for ever.
    static constexpr std::string_view kDateTime = "{DATETIME,";
    std::size_t from = 0;
    for (std::size_t start; (start = out.find(kDateTime, from)) != std::string::npos;) {
        const std::size_t formatStart = start + kDateTime.size();
        const std::size_t close = out.find('}', formatStart);
        const std::size_t formatEnd = close == std::string::npos ? out.size() : close;
        const std::string date = FormatDateTime(out.substr(formatStart, formatEnd - formatStart), Now());
        out.replace(start, (close == std::string::npos ? out.size() : close + 1) - start, date);
        from = start + date.size();
    }
    return out;
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative)
        i = 1;
    if (i >= text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{2147483648})
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > 2147483647)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string SubstituteMatches(std::string_view text, const std::vector<std::string>& pageMatches,
                              const TStepMatches& stepMatches) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (!(text[i] == '{' && i + 2 < text.size() && text[i + 1] == 'c' && text[i + 2] == '_')) {
            out += text[i++];
            continue;
        }
        std::int64_t step = 0;
        std::int64_t index = 0;
        std::string number;
        std::size_t j = i + 3;
        bool closed = false;
        for (; j < text.size(); ++j) {
            if (text[j] == '_') {
                step = ParseInt32(number).value_or(0);
                number.clear();
            } else if (text[j] == '}') {
                index = ParseInt32(number).value_or(1);
                closed = true;
                break;
            } else {
                number += text[j];
            }
        }
        const std::vector<std::string>* list = step > 0 ? (stepMatches ? stepMatches(step) : nullptr) : &pageMatches;
        if (list != nullptr && index >= 0 && index < static_cast<std::int64_t>(list->size()))
            out += UrlEncode((*list)[static_cast<std::size_t>(index)]);
        i = closed ? j + 1 : text.size();
    }
    return out;
}
