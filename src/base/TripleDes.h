#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// Triple DES with three independent keys, encrypt-decrypt-encrypt, on 8-byte blocks (ECB).
// Bit 1 of DES is the most significant bit of a block's first byte; key parity bits are ignored.
// The rounds are table-driven: combined S-box/P tables and nibble tables for the initial and final
// permutations, built once per process, so a round costs eight table lookups.
class TTripleDes {
public:
    static constexpr std::size_t kBlockSize = 8;
    static constexpr std::size_t kKeySize = 24;

    // Key bytes K1 | K2 | K3.
    explicit TTripleDes(std::span<const std::uint8_t, kKeySize> key);
    // Same, from 24 bytes held as characters; throws std::invalid_argument for any other length.
    explicit TTripleDes(std::string_view key);

    // ciphertext = E(K3, D(K2, E(K1, plaintext))) for each block. in and out are either the same
    // buffer or do not overlap.
    void EncryptBlocks(const void* in, void* out, std::size_t blockCount) const;
    // plaintext = D(K1, E(K2, D(K3, ciphertext))) for each block.
    void DecryptBlocks(const void* in, void* out, std::size_t blockCount) const;

private:
    // One DES key schedule: for each of the 16 rounds two words, each holding four 6-bit subkey groups
    // (S-boxes 1,3,5,7 and 2,4,6,8) in bytes 3..0, lined up with the expansion windows of the round.
    using TSchedule = std::array<std::uint32_t, 32>;
    using TNibbleTable = std::array<std::array<std::uint64_t, 16>, 16>;

    template <bool Decrypting>
    void CryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blockCount) const;
    template <bool Reverse>
    void DesRounds(std::uint32_t& left, std::uint32_t& right, const TSchedule& schedule) const;
    std::uint32_t Feistel(std::uint32_t half, const std::uint32_t* subkey) const;

    // The tables do not depend on the key: they are built once and shared by every instance.
    struct TTables {
        std::array<std::array<std::uint32_t, 64>, 8> sp{}; // S-box j then P, output rotated left by 1
        TNibbleTable initial{};                            // IP, halves rotated left by 1
        TNibbleTable final{};                              // undo the rotation, then FP
    };
    static const TTables& Tables();
    static TTables BuildTables();
    static TSchedule MakeSchedule(const std::uint8_t* key);

    const TTables* m_tables = &Tables();
    std::array<TSchedule, 3> m_schedules{}; // K1, K2, K3
};
