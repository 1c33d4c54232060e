#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// MD5 message digest (RFC 1321), fed in any number of pieces.
class TMd5 {
public:
    using TDigest = std::array<std::uint8_t, 16>;

    TMd5() { Reset(); }

    void Reset();
    void Update(const void* data, std::size_t count);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // Pads the message, returns its digest and starts a new message.
    TDigest Final();

    static TDigest Digest(std::string_view bytes);

private:
    void Transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> m_state{};
    std::array<std::uint8_t, 64> m_buffer{};
    std::uint64_t m_length = 0; // bytes fed so far
};
