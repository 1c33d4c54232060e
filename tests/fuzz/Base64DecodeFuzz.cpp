#include "base/Encoders.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Decodes arbitrary text, and checks that encoding the bytes and decoding the text gives them back.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string decoded = Base64Decode(bytes);
    // Four characters carry at most three bytes.
    if (decoded.size() > size / 4 * 3 + (size % 4 == 0 ? 0 : size % 4 - 1))
        __builtin_trap();
    // Decoded bytes re-encode to text that decodes to the same bytes.
    if (Base64Decode(Base64Encode(decoded)) != decoded)
        __builtin_trap();

    const std::string text = Base64Encode(bytes);
    if (text.size() != (size + 2) / 3 * 4 || Base64Decode(text) != bytes)
        __builtin_trap();
    return 0;
}
