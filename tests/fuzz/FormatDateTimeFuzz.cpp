#include "platform/FormatDateTime.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// The first 8 bytes are the value, the rest is the format. Besides not crashing, a format made
// only of characters that are no directives comes back unchanged, and so does any text in quotes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    double value = 0;
    const std::size_t valueSize = size < sizeof value ? size : sizeof value;
    std::memcpy(&value, data, valueSize);
    const std::string format(reinterpret_cast<const char*>(data) + valueSize, size - valueSize);

    static const TFormatSettings english = TFormatSettings::English();
    FormatDateTime(format, value, english);
    FormatDateTime(format, value, TFormatSettings::System());

    bool plain = !format.empty();
    for (const char c : format) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (letter || c == '\'' || c == '"' || c == '/' || c == ':')
            plain = false;
    }
    if (plain && FormatDateTime(format, value, english) != format)
        __builtin_trap();
    if (format.find('"') == std::string::npos && FormatDateTime('"' + format + '"', value, english) != format)
        __builtin_trap();
    return 0;
}
