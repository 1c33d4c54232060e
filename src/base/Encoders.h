#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The program's shared encoders: MD5 digest text, Triple DES under a passphrase, Base64.
// Byte strings are std::string; an in-memory "stream" is a std::string that the caller owns.

// Passphrase of the definition files, the balance scripts and the currency provider scripts.
inline constexpr const char* kDefinitionPassphrase = "5t7u9w3z";

// The text of a decrypted definition file or script: the bytes before the first NUL (the cipher
// pads with zero bytes), without the UTF-8 byte-order mark that some editors put at its start.
std::string DefinitionText(std::string_view plain);

// 32 lower-case hexadecimal digits of the MD5 digest of the bytes.
std::string Md5Hex(std::string_view text);

// Triple DES (E-D-E, three keys, ECB) under a key derived from Md5Hex(passphrase).
// An empty passphrase or input does nothing (output untouched). Otherwise the input is padded
// in place with zero bytes to a multiple of 8 and output receives the whole padded ciphertext.
void Encrypt(std::string_view passphrase, std::string& input, std::string& output);
// Same padding of the input; output receives the plaintext cut back to the input's original length.
// For both, input and output may be the same string.
void Decrypt(std::string_view passphrase, std::string& input, std::string& output);

// Convenience forms for callers that keep their own input.
std::string EncryptBytes(std::string_view passphrase, std::string_view input);
std::string DecryptBytes(std::string_view passphrase, std::string_view input);

// RFC 4648 alphabet, "=" padding, no line breaks.
std::string Base64Encode(const void* data, std::size_t count);
inline std::string Base64Encode(std::string_view bytes) {
    return Base64Encode(bytes.data(), bytes.size());
}
// Skips the characters 7-13 and the blank wherever they occur. Decoding ends at "=" or at any other
// character outside the alphabet, keeping what came before; a truncated last group gives the whole bytes
// it holds.
std::string Base64Decode(std::string_view text);
