#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

// The text without leading and trailing blanks and control characters (bytes up to 0x20).
inline std::string Trim(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return std::string(text.substr(begin, end - begin));
}

// Letter case of keys, values, file and member names. Only the ASCII letters fold; every other
// byte stays as it is. Never the C library's tolower/toupper: they follow the locale, and under a
// Turkish one "I" does not lower-case to "i".
inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = AsciiLower(c);
    return lower;
}

inline std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = AsciiUpper(c);
    return upper;
}

inline bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

// Order of the bytes after fold, taken as unsigned: negative, zero or positive as a sorts before,
// with or after b. Which way letters fold decides where characters between the two cases sort,
// such as '_'.
template <typename TFold>
int AsciiCompareFolded(std::string_view a, std::string_view b, TFold fold) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(fold(a[i]));
        const auto y = static_cast<unsigned char>(fold(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Texts that differ only in ASCII letter case compare equal; letters fold to lower case.
inline int AsciiCompareNoCase(std::string_view a, std::string_view b) {
    return AsciiCompareFolded(a, b, [](char c) { return AsciiLower(c); });
}

inline bool AsciiLessNoCase(std::string_view a, std::string_view b) {
    return AsciiCompareNoCase(a, b) < 0;
}

// Splits text into lines at CR, LF or CR LF; a break at the very end does not start another line.
std::vector<std::string> SplitLines(const std::string& text);

// A new GUID in the registry form: 38 characters, braces, upper-case hexadecimal.
std::string NewGuidString();
