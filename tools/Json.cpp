#include "Json.h"

#include "platform/Utf8.h"

#include <cstdio>

namespace {

void AppendEscape(std::string& out, unsigned value) {
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
                    AppendEscape(out, c);
                else
                    out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(s, i, code);
        if (length == 0) {
            AppendEscape(out, c);
            ++i;
        } else {
            out.append(s.substr(i, length));
            i += length;
        }
    }
    out += '"';
    return out;
}

std::string JsonTextObject(const std::map<std::string, std::string>& values) {
    std::string json = "{";
    for (const auto& [name, value] : values)
        json += (json.size() == 1 ? "" : ", ") + JsonString(name) + ": " + JsonString(value);
    return json + "}";
}

bool WriteStdout(const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}
