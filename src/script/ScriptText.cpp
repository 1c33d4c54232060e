#include "script/ScriptText.h"

namespace {

// Code point of the valid UTF-8 sequence at `i` and its length, or length 0 when the byte there
// does not start one (overlong forms, surrogates and values past U+10FFFF are not valid).
std::size_t decodeUtf8(std::string_view s, std::size_t i, char32_t& code) {
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

} // namespace

QString ToScriptText(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            text += QChar(c);
            ++i;
            continue;
        }
        char32_t code = 0;
        const std::size_t length = decodeUtf8(bytes, i, code);
        if (length == 0) {
            text += QChar(c); // the Latin-1 character of the stray byte
            ++i;
        } else if (code > 0xFFFF) {
            text += QChar(QChar::highSurrogate(code));
            text += QChar(QChar::lowSurrogate(code));
            i += length;
        } else {
            text += QChar(static_cast<char16_t>(code));
            i += length;
        }
    }
    return text;
}

std::string FromScriptText(const QString& text) {
    // Scripts can build strings holding half a surrogate pair; Qt would write those as '?'.
    QString whole;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool paired = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (paired) {
            ++i;
            continue;
        }
        if (c.isSurrogate()) {
            if (whole.isNull())
                whole = text;
            whole[i] = QChar(QChar::ReplacementCharacter);
        }
    }
    return (whole.isNull() ? text : whole).toStdString();
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}
