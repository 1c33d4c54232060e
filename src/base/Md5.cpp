#include "base/Md5.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr int kShifts[64] = {
    7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
    14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
    4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21,
};

// T[i] = floor(2^32 * |sin(i + 1)|), as RFC 1321 defines the table; a double holds enough precision.
const std::array<std::uint32_t, 64>& SineTable() {
    static const std::array<std::uint32_t, 64> table = [] {
        std::array<std::uint32_t, 64> t{};
        for (int i = 0; i < 64; ++i)
            t[i] = static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
        return t;
    }();
    return table;
}

std::uint32_t LoadLittle(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16) |
           (std::uint32_t{bytes[3]} << 24);
}

} // namespace

void TMd5::Reset() {
    m_state = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    m_length = 0;
}

void TMd5::Update(const void* data, std::size_t count) {
    auto bytes = static_cast<const std::uint8_t*>(data);
    std::size_t used = m_length % 64;
    m_length += count;
    if (used > 0) {
        const std::size_t take = std::min(count, 64 - used);
        std::memcpy(m_buffer.data() + used, bytes, take);
        bytes += take;
        count -= take;
        used += take;
        if (used < 64)
            return;
        Transform(m_buffer.data());
    }
    for (; count >= 64; count -= 64, bytes += 64)
        Transform(bytes);
    if (count > 0)
        std::memcpy(m_buffer.data(), bytes, count);
}

TMd5::TDigest TMd5::Final() {
    const std::uint64_t bitLength = m_length * 8;
    // 0x80, zeros up to 56 mod 64, then the bit length little-endian.
    std::uint8_t padding[72] = {0x80};
    const std::size_t used = m_length % 64;
    const std::size_t padCount = used < 56 ? 56 - used : 120 - used;
    for (int i = 0; i < 8; ++i)
        padding[padCount + i] = static_cast<std::uint8_t>(bitLength >> (8 * i));
    Update(padding, padCount + 8);

    TDigest digest{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<std::uint8_t>(m_state[i] >> (8 * j));
    Reset();
    return digest;
}

TMd5::TDigest TMd5::Digest(std::string_view bytes) {
    TMd5 md5;
    md5.Update(bytes);
    return md5.Final();
}

void TMd5::Transform(const std::uint8_t* block) {
    const auto& sine = SineTable();
    std::uint32_t words[16];
    for (int i = 0; i < 16; ++i)
        words[i] = LoadLittle(block + 4 * i);

    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f;
        int g;
        switch (i / 16) {
        case 0:
            f = (b & c) | (~b & d);
            g = i;
            break;
        case 1:
            f = (b & d) | (c & ~d);
            g = (5 * i + 1) % 16;
            break;
        case 2:
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
            break;
        default:
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
            break;
        }
        const std::uint32_t rotated = std::rotl(a + f + sine[i] + words[g], kShifts[i]);
        a = d;
        d = c;
        c = b;
        b += rotated;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}
