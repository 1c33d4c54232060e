#include "base/Encoders.h"

#include <array>
#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::int8_t kSkip = -1;
constexpr std::int8_t kEnd = -2;

// Value of each character code: 0..63 for the alphabet, kSkip for 7..13 and the blank, kEnd otherwise.
constexpr std::array<std::int8_t, 256> MakeDecodeTable() {
    std::array<std::int8_t, 256> table{};
    table.fill(kEnd);
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    for (int c = 7; c <= 13; ++c)
        table[c] = kSkip;
    table[' '] = kSkip;
    return table;
}

constexpr std::array<std::int8_t, 256> kDecodeTable = MakeDecodeTable();

} // namespace

std::string Base64Encode(const void* data, std::size_t count) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::string text;
    text.reserve((count + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        text += kAlphabet[group >> 18];
        text += kAlphabet[(group >> 12) & 63];
        text += kAlphabet[(group >> 6) & 63];
        text += kAlphabet[group & 63];
    }
    const std::size_t rest = count - i;
    if (rest > 0) {
        std::uint32_t group = std::uint32_t{bytes[i]} << 16;
        if (rest == 2)
            group |= std::uint32_t{bytes[i + 1]} << 8;
        text += kAlphabet[group >> 18];
        text += kAlphabet[(group >> 12) & 63];
        text += rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
        text += '=';
    }
    return text;
}

// Decoding ends at the first "=" or at any other character outside the alphabet that is not skipped;
// what came before is kept. A last group of two or three characters gives one or two bytes whether or
// not its padding is present; a single leftover character carries no whole byte and is dropped. Bits
// below the last whole byte are ignored.
std::string Base64Decode(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3 + 2);
    std::uint32_t bits = 0;
    int bitCount = 0;
    for (const char c : text) {
        const std::int8_t value = kDecodeTable[static_cast<unsigned char>(c)];
        if (value == kSkip)
            continue;
        if (value == kEnd)
            break;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            bytes += static_cast<char>((bits >> bitCount) & 0xFF);
        }
    }
    return bytes;
}
