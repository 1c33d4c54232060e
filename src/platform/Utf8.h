#pragma once

#include <cstddef>
#include <string_view>

// The code point of the valid UTF-8 sequence that starts at `i` and its length in bytes, or length 0
// when the byte there does not start one: stray continuation bytes, truncated sequences, overlong
// forms, surrogate halves and values past U+10FFFF are not valid.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& code);
