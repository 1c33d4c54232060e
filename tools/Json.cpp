#include "Json.h"

#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence starting at `i`, or 0 when the byte there does not start one.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    std::size_t length = 0;
    unsigned lowest = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size())
        return 0;
    unsigned code = c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (length > 2 && code < lowest)
        return 0; // overlong
    if (code >= 0xD800 && code <= 0xDFFF)
        return 0; // surrogate halves are not characters
    if (code > 0x10FFFF)
        return 0;
    return length;
}

void appendEscape(std::string& out, unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", value);
    out += buffer;
}

} // namespace

std::string JsonString(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F)
                    appendEscape(out, c);
                else
                    out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        const std::size_t length = utf8SequenceLength(s, i);
        if (length == 0) {
            appendEscape(out, c);
            ++i;
        } else {
            out.append(s.substr(i, length));
            i += length;
        }
    }
    out += '"';
    return out;
}
