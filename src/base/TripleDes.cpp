#include "base/TripleDes.h"

#include <bit>
#include <stdexcept>
#include <utility>

namespace {

// The DES tables of FIPS 46-3. Entries are 1-based bit numbers, bit 1 being the most significant bit.
// clang-format off
constexpr std::uint8_t kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2,  60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6,  64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1,  59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5,  63, 55, 47, 39, 31, 23, 15, 7,
};

constexpr std::uint8_t kPermutedChoice1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4,
};

constexpr std::uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
    23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
    44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32,
};

constexpr std::uint8_t kRoundShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr std::uint8_t kPermutationP[32] = {
    16, 7,  20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
    2,  8,  24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25,
};

// S-boxes 1..8: four rows of 16, row chosen by the outer input bits, column by the inner four.
constexpr std::uint8_t kSBoxes[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}},
};
// clang-format on

// Every S-box row must hold each of 0..15 once; catches a mistyped entry at compile time.
constexpr bool SBoxRowsArePermutations() {
    for (const auto& box : kSBoxes) {
        for (const auto& row : box) {
            unsigned seen = 0;
            for (const std::uint8_t value : row)
                seen |= 1u << value;
            if (seen != 0xFFFF)
                return false;
        }
    }
    return true;
}
static_assert(SBoxRowsArePermutations());

// Output bit j of the result is input bit table[j] of an inWidth-bit value (both counted from the top, 1-based).
template <std::size_t N>
constexpr std::uint64_t Permute(std::uint64_t value, unsigned inWidth, const std::uint8_t (&table)[N]) {
    std::uint64_t result = 0;
    for (const std::uint8_t bit : table)
        result = (result << 1) | ((value >> (inWidth - bit)) & 1);
    return result;
}

constexpr std::uint64_t RotateHalvesLeft(std::uint64_t value, int by) {
    const auto high = static_cast<std::uint32_t>(value >> 32);
    const auto low = static_cast<std::uint32_t>(value);
    return (std::uint64_t{std::rotl(high, by)} << 32) | std::rotl(low, by);
}

std::uint64_t LoadBlock(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

void StoreBlock(std::uint8_t* bytes, std::uint64_t value) {
    for (int i = 7; i >= 0; --i) {
        bytes[i] = static_cast<std::uint8_t>(value);
        value >>= 8;
    }
}

} // namespace

TTripleDes::TTripleDes(std::span<const std::uint8_t, kKeySize> key) {
    for (std::size_t i = 0; i < m_schedules.size(); ++i)
        m_schedules[i] = MakeSchedule(key.data() + 8 * i);
}

TTripleDes::TTripleDes(std::string_view key) {
    if (key.size() != kKeySize)
        throw std::invalid_argument("a Triple DES key has 24 bytes");
    for (std::size_t i = 0; i < m_schedules.size(); ++i)
        m_schedules[i] = MakeSchedule(reinterpret_cast<const std::uint8_t*>(key.data()) + 8 * i);
}

// The rounds keep both halves rotated left by one bit: then the six-bit expansion windows of S-boxes
// 2,4,6,8 are bytes 3..0 of the half, those of S-boxes 1,3,5,7 are bytes 3..0 of the half rotated right
// by four, and the expansion becomes two XORs with the prepared subkey words.
const TTripleDes::TTables& TTripleDes::Tables() {
    static const TTables built = BuildTables();
    return built;
}

TTripleDes::TTables TTripleDes::BuildTables() {
    TTables tables;
    // Each table is a linear bit permutation, so an entry is the OR of the images of its set bits.
    // The images are indexed by bit position, 0 being the least significant bit.
    std::uint32_t pImage[32];
    for (int j = 0; j < 32; ++j)
        pImage[32 - kPermutationP[j]] = std::rotl(std::uint32_t{1} << (31 - j), 1);
    for (int box = 0; box < 8; ++box) {
        const int low = 28 - 4 * box; // position of the box's lowest output bit
        for (unsigned input = 0; input < 64; ++input) {
            const unsigned row = ((input >> 4) & 2) | (input & 1);
            const unsigned column = (input >> 1) & 15;
            const unsigned output = kSBoxes[box][row][column];
            std::uint32_t entry = 0;
            for (int bit = 0; bit < 4; ++bit)
                if (output & (1u << bit))
                    entry |= pImage[low + bit];
            tables.sp[box][input] = entry;
        }
    }

    // IP moves input bit kInitialPermutation[j] to output bit j + 1; the final permutation is its inverse.
    std::uint64_t initialImage[64];
    std::uint64_t inverseImage[64];
    for (int j = 0; j < 64; ++j) {
        initialImage[64 - kInitialPermutation[j]] = RotateHalvesLeft(std::uint64_t{1} << (63 - j), 1);
        inverseImage[63 - j] = std::uint64_t{1} << (64 - kInitialPermutation[j]);
    }
    std::uint64_t finalImage[64];
    for (int bit = 0; bit < 64; ++bit)
        finalImage[bit] = inverseImage[std::countr_zero(RotateHalvesLeft(std::uint64_t{1} << bit, -1))];

    for (int nibble = 0; nibble < 16; ++nibble) {
        const int shift = 60 - 4 * nibble;
        for (unsigned value = 0; value < 16; ++value) {
            std::uint64_t initial = 0;
            std::uint64_t final = 0;
            for (int bit = 0; bit < 4; ++bit) {
                if (value & (1u << bit)) {
                    initial |= initialImage[shift + bit];
                    final |= finalImage[shift + bit];
                }
            }
            tables.initial[nibble][value] = initial;
            tables.final[nibble][value] = final;
        }
    }
    return tables;
}

TTripleDes::TSchedule TTripleDes::MakeSchedule(const std::uint8_t* key) {
    // PC-1 skips bits 8, 16, ..., 64: the parity bits play no part.
    const std::uint64_t cd = Permute(LoadBlock(key), 64, kPermutedChoice1);
    auto c = static_cast<std::uint32_t>(cd >> 28);
    auto d = static_cast<std::uint32_t>(cd & 0x0FFFFFFF);
    TSchedule schedule{};
    for (int round = 0; round < 16; ++round) {
        const int s = kRoundShifts[round];
        c = ((c << s) | (c >> (28 - s))) & 0x0FFFFFFF;
        d = ((d << s) | (d >> (28 - s))) & 0x0FFFFFFF;
        const std::uint64_t subkey = Permute((std::uint64_t{c} << 28) | d, 56, kPermutedChoice2);
        std::uint32_t group[8];
        for (int j = 0; j < 8; ++j)
            group[j] = static_cast<std::uint32_t>(subkey >> (42 - 6 * j)) & 63;
        schedule[2 * round] = (group[0] << 24) | (group[2] << 16) | (group[4] << 8) | group[6];
        schedule[2 * round + 1] = (group[1] << 24) | (group[3] << 16) | (group[5] << 8) | group[7];
    }
    return schedule;
}

inline std::uint32_t TTripleDes::Feistel(std::uint32_t half, const std::uint32_t* subkey) const {
    const auto& sp = m_tables->sp;
    std::uint32_t w = std::rotr(half, 4) ^ subkey[0];
    std::uint32_t f = sp[6][w & 63] ^ sp[4][(w >> 8) & 63] ^ sp[2][(w >> 16) & 63] ^ sp[0][(w >> 24) & 63];
    w = half ^ subkey[1];
    f ^= sp[7][w & 63] ^ sp[5][(w >> 8) & 63] ^ sp[3][(w >> 16) & 63] ^ sp[1][(w >> 24) & 63];
    return f;
}

// Sixteen rounds of one DES, subkeys in order (encryption) or reversed (decryption). Ends with
// left = L16, right = R16; the DES output block is R16 L16.
template <bool Reverse>
inline void TTripleDes::DesRounds(std::uint32_t& left, std::uint32_t& right, const TSchedule& schedule) const {
    for (int i = 0; i < 16; i += 2) {
        const int first = Reverse ? 15 - i : i;
        const int second = Reverse ? 14 - i : i + 1;
        left ^= Feistel(right, &schedule[2 * first]);
        right ^= Feistel(left, &schedule[2 * second]);
    }
}

// Between the three DES operations the final and initial permutations cancel out, leaving only the
// exchange of the halves.
template <bool Decrypting>
void TTripleDes::CryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blockCount) const {
    for (; blockCount > 0; --blockCount, in += kBlockSize, out += kBlockSize) {
        const std::uint64_t block = LoadBlock(in);
        std::uint64_t permuted = 0;
        for (int nibble = 0; nibble < 16; ++nibble)
            permuted |= m_tables->initial[nibble][(block >> (60 - 4 * nibble)) & 15];
        auto left = static_cast<std::uint32_t>(permuted >> 32);
        auto right = static_cast<std::uint32_t>(permuted);
        if constexpr (Decrypting) {
            DesRounds<true>(left, right, m_schedules[2]);
            std::swap(left, right);
            DesRounds<false>(left, right, m_schedules[1]);
            std::swap(left, right);
            DesRounds<true>(left, right, m_schedules[0]);
        } else {
            DesRounds<false>(left, right, m_schedules[0]);
            std::swap(left, right);
            DesRounds<true>(left, right, m_schedules[1]);
            std::swap(left, right);
            DesRounds<false>(left, right, m_schedules[2]);
        }
        const std::uint64_t preoutput = (std::uint64_t{right} << 32) | left;
        std::uint64_t result = 0;
        for (int nibble = 0; nibble < 16; ++nibble)
            result |= m_tables->final[nibble][(preoutput >> (60 - 4 * nibble)) & 15];
        StoreBlock(out, result);
    }
}

void TTripleDes::EncryptBlocks(const void* in, void* out, std::size_t blockCount) const {
    CryptBlocks<false>(static_cast<const std::uint8_t*>(in), static_cast<std::uint8_t*>(out), blockCount);
}

void TTripleDes::DecryptBlocks(const void* in, void* out, std::size_t blockCount) const {
    CryptBlocks<true>(static_cast<const std::uint8_t*>(in), static_cast<std::uint8_t*>(out), blockCount);
}
