#include "base/Encoders.h"

#include "base/Md5.h"
#include "base/TripleDes.h"

#include <optional>
#include <string>

namespace {

// The key is the text of the digest, not its value: the character codes of the first 24 hex digits.
// Values come in runs under one passphrase (reading a history decrypts a hundred thousand), so each
// thread keeps the cipher of the passphrase it used last: the digest and the key schedule cost
// several times the decryption of a value.
const TTripleDes& MakeCipher(std::string_view passphrase) {
    thread_local std::string lastPassphrase;
    thread_local std::optional<TTripleDes> cipher;
    if (!cipher || passphrase != lastPassphrase) {
        cipher.emplace(std::string_view(Md5Hex(passphrase)).substr(0, TTripleDes::kKeySize));
        lastPassphrase = passphrase;
    }
    return *cipher;
}

// Pads input with zero bytes to whole blocks, sizes output to match and returns the original length.
// Output is resized rather than cleared so that input and output may be one string.
std::size_t PadAndSize(std::string& input, std::string& output) {
    const std::size_t original = input.size();
    input.append((TTripleDes::kBlockSize - original % TTripleDes::kBlockSize) % TTripleDes::kBlockSize, '\0');
    output.resize(input.size());
    return original;
}

} // namespace

std::string DefinitionText(std::string_view plain) {
    plain = plain.substr(0, plain.find('\0'));
    if (plain.starts_with("\xEF\xBB\xBF"))
        plain.remove_prefix(3);
    return std::string(plain);
}

std::string Md5Hex(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const TMd5::TDigest digest = TMd5::Digest(text);
    std::string hex(2 * digest.size(), '0');
    for (std::size_t i = 0; i < digest.size(); ++i) {
        hex[2 * i] = kDigits[digest[i] >> 4];
        hex[2 * i + 1] = kDigits[digest[i] & 15];
    }
    return hex;
}

void Encrypt(std::string_view passphrase, std::string& input, std::string& output) {
    if (passphrase.empty() || input.empty())
        return;
    const TTripleDes& cipher = MakeCipher(passphrase);
    PadAndSize(input, output);
    cipher.EncryptBlocks(input.data(), output.data(), input.size() / TTripleDes::kBlockSize);
}

void Decrypt(std::string_view passphrase, std::string& input, std::string& output) {
    if (passphrase.empty() || input.empty())
        return;
    const TTripleDes& cipher = MakeCipher(passphrase);
    const std::size_t original = PadAndSize(input, output);
    cipher.DecryptBlocks(input.data(), output.data(), input.size() / TTripleDes::kBlockSize);
    output.resize(original);
}

std::string EncryptBytes(std::string_view passphrase, std::string_view input) {
    std::string in(input);
    std::string out;
    Encrypt(passphrase, in, out);
    return out;
}

std::string DecryptBytes(std::string_view passphrase, std::string_view input) {
    std::string in(input);
    std::string out;
    Decrypt(passphrase, in, out);
    return out;
}
