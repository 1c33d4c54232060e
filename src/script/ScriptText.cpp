#include "script/ScriptText.h"

#include "platform/Utf8.h"

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
        const std::size_t length = DecodeUtf8(bytes, i, code);
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
