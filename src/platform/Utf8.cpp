#include "platform/Utf8.h"

std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& code) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    std::size_t length = 0;
    char32_t lowest = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        lowest = 0x80;
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
    char32_t value = c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    if (value < lowest || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return 0;
    code = value;
    return length;
}
