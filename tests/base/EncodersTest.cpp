#include "base/Encoders.h"
#include "base/Md5.h"
#include "base/TripleDes.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <stdexcept>
#include <string>

namespace {

std::string FromHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return bytes;
}

std::string ToHex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

std::string RandomBytes(std::mt19937& random, std::size_t count) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(byte(random));
    return bytes;
}

std::string PadToBlocks(std::string bytes) {
    bytes.append((8 - bytes.size() % 8) % 8, '\0');
    return bytes;
}

std::string EncryptRaw(std::string_view key, std::string bytes) {
    TTripleDes(key).EncryptBlocks(bytes.data(), bytes.data(), bytes.size() / 8);
    return bytes;
}

std::string DecryptRaw(std::string_view key, std::string bytes) {
    TTripleDes(key).DecryptBlocks(bytes.data(), bytes.data(), bytes.size() / 8);
    return bytes;
}

// The openssl command as an independent implementation; the input goes through a file.
class OpenSslOracle : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("openssl").isEmpty())
            GTEST_SKIP() << "openssl is not installed";
    }

    // Runs openssl with the input file appended to the arguments, after "-in" unless asOperand.
    std::string run(QStringList arguments, const std::string& input, bool asOperand = false) {
        const std::string path = m_dir.file("input" + std::to_string(m_count++));
        WriteFileBytes(path, input);
        if (!asOperand)
            arguments << "-in";
        arguments << QString::fromStdString(path);
        QProcess process;
        process.start("openssl", arguments);
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            throw std::runtime_error("openssl failed: " + process.readAllStandardError().toStdString());
        const QByteArray out = process.readAllStandardOutput();
        return std::string(out.constData(), static_cast<std::size_t>(out.size()));
    }

    // Triple DES, ECB, no padding, under a raw 24-byte key.
    std::string des3(const std::string& key, const std::string& input, bool encrypt) {
        return run({"enc", "-des-ede3", "-nopad", "-K", QString::fromStdString(ToHex(key)), encrypt ? "-e" : "-d"},
                   input);
    }

    TempDir m_dir;
    int m_count = 0;
};

} // namespace

TEST(Md5, Rfc1321TestSuite) {
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PiecewiseFeedingMatchesOneShot) {
    std::mt19937 random(7);
    const std::string message = RandomBytes(random, 300);
    for (std::size_t split : {0, 1, 55, 56, 63, 64, 65, 128, 299}) {
        TMd5 md5;
        md5.Update(std::string_view(message).substr(0, split));
        md5.Update(std::string_view(message).substr(split));
        EXPECT_EQ(md5.Final(), TMd5::Digest(message)) << "split at " << split;
    }
    TMd5 md5; // Final starts a new message
    md5.Update("junk");
    md5.Final();
    md5.Update("abc");
    EXPECT_EQ(md5.Final(), TMd5::Digest("abc"));
}

TEST_F(OpenSslOracle, Md5MatchesAroundBlockBoundaries) {
    std::mt19937 random(11);
    for (std::size_t length : {55, 56, 57, 63, 64, 65, 119, 120, 1000, 100000}) {
        const std::string message = RandomBytes(random, length);
        EXPECT_EQ(Md5Hex(message), run({"dgst", "-md5", "-r"}, message, true).substr(0, 32)) << length << " bytes";
    }
}

// With K1 = K2 = K3 the three operations reduce to one DES: FIPS 81 and NIST SP 800-17 vectors.
TEST(TripleDes, SingleDesKnownAnswers) {
    const std::array<const char*, 3> vectors[] = {
        {"0123456789abcdef", "4e6f77206973207468652074696d6520666f7220616c6c20", // "Now is the time for all "
         "3fa40e8a984d48156a271787ab8883f9893d51ec4b563b53"},
        {"133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
        {"0e329232ea6d0d73", "8787878787878787", "0000000000000000"},
        {"0101010101010101", "8000000000000000", "95f8a5e5dd31d900"}, // variable plaintext
        {"0101010101010101", "4000000000000000", "dd7f121ca5015619"},
        {"0101010101010101", "2000000000000000", "2e8653104f3834ea"},
        {"8001010101010101", "0000000000000000", "95a8d72813daa94d"}, // variable key
        {"4001010101010101", "0000000000000000", "0eec1487dd8c26d5"},
        {"1046913489980131", "0000000000000000", "88d55e54f54c97b4"}, // permutation
        {"7ca110454a1a6e57", "01a1d6d039776742", "690f5b0d9a26939b"}, // substitution
        {"0131d9619dc1376e", "5cd54ca83def57da", "7a389d10354bd271"},
    };
    for (const auto& [keyHex, plain, cipher] : vectors) {
        const std::string key = FromHex(keyHex) + FromHex(keyHex) + FromHex(keyHex);
        EXPECT_EQ(ToHex(EncryptRaw(key, FromHex(plain))), cipher) << "key " << keyHex;
        EXPECT_EQ(ToHex(DecryptRaw(key, FromHex(cipher))), plain) << "key " << keyHex;
    }
}

// NIST SP 800-67 keying option 1 example; also checks that the parity bits play no part.
TEST(TripleDes, ThreeKeyKnownAnswer) {
    const std::string key = FromHex("0123456789abcdef23456789abcdef01456789abcdef0123");
    const std::string plain = "The qufck brown fox jump";
    const std::string cipher = FromHex("a826fd8ce53b855fcce21c8112256fe668d5c05dd9b6b900");
    EXPECT_EQ(EncryptRaw(key, plain), cipher);
    EXPECT_EQ(DecryptRaw(key, cipher), plain);
    std::string flipped = key;
    for (char& c : flipped)
        c = static_cast<char>(c ^ 1);
    EXPECT_EQ(EncryptRaw(flipped, plain), cipher);
    EXPECT_THROW(TTripleDes(key.substr(0, 16)), std::invalid_argument);
}

TEST_F(OpenSslOracle, TripleDesMatchesUnderRandomKeys) {
    std::mt19937 random(3);
    for (int i = 0; i < 4; ++i) {
        const std::string key = RandomBytes(random, 24);
        const std::string plain = RandomBytes(random, 8 * (1 + i * 37));
        const std::string cipher = des3(key, plain, true);
        EXPECT_EQ(EncryptRaw(key, plain), cipher);
        EXPECT_EQ(DecryptRaw(key, cipher), plain);
    }
}

// The key's bytes are the character codes of the first 24 digits of Md5Hex(passphrase).
TEST_F(OpenSslOracle, EncryptAndDecryptMatchUnderTheDerivedKey) {
    std::mt19937 random(5);
    std::uniform_int_distribution<std::size_t> length(1, 300);
    for (const std::string& passphrase :
         {std::string(kDefinitionPassphrase), std::string("x"), RandomBytes(random, 40)}) {
        const std::string key = Md5Hex(passphrase).substr(0, 24);
        const std::string plain = RandomBytes(random, length(random));
        EXPECT_EQ(EncryptBytes(passphrase, plain), des3(key, PadToBlocks(plain), true)) << plain.size() << " bytes";
        const std::string cipher = RandomBytes(random, length(random));
        EXPECT_EQ(DecryptBytes(passphrase, cipher), des3(key, PadToBlocks(cipher), false).substr(0, cipher.size()))
            << cipher.size() << " bytes";
    }
    const std::string large = RandomBytes(random, 65536);
    EXPECT_EQ(EncryptBytes("large", large), des3(Md5Hex("large").substr(0, 24), large, true));
}

TEST(Encrypt, PadsTheCallersInputAndReplacesTheOutput) {
    const std::pair<std::size_t, std::size_t> cases[] = {{1, 8}, {8, 8}, {9, 16}};
    for (const auto& [length, padded] : cases) {
        const std::string plain(length, 'a');
        std::string input = plain;
        std::string output(100, 'x');
        Encrypt("key", input, output);
        EXPECT_EQ(output.size(), padded);
        EXPECT_EQ(input, plain + std::string(padded - length, '\0'));
        EXPECT_EQ(DecryptBytes("key", output), input); // the round trip gives the padded plaintext
    }
    std::string same = "abc"; // input and output may be one string
    Encrypt("key", same, same);
    EXPECT_EQ(same, EncryptBytes("key", "abc"));
}

TEST(Encrypt, EmptyPassphraseOrInputDoesNothing) {
    std::string input = "abc";
    std::string empty;
    std::string output = "previous";
    Encrypt("", input, output);
    Decrypt("", input, output);
    Encrypt("key", empty, output);
    Decrypt("key", empty, output);
    EXPECT_EQ(input, "abc");
    EXPECT_EQ(output, "previous");
}

TEST(Encrypt, EqualBlocksGiveEqualCiphertext) {
    const std::string cipher = EncryptBytes("key", "8 bytes!8 bytes!");
    ASSERT_EQ(cipher.size(), 16u);
    EXPECT_EQ(cipher.substr(0, 8), cipher.substr(8, 8));
}

TEST(Encrypt, FourByteValueInBase64IsTwelveCharacters) {
    const std::string text = Base64Encode(EncryptBytes(kDefinitionPassphrase, std::string("123\0", 4)));
    ASSERT_EQ(text.size(), 12u);
    EXPECT_EQ(text[11], '=');
    EXPECT_NE(text[10], '=');
}

TEST(Decrypt, OutputLengthIsTheInputLength) {
    const std::string cipher = EncryptBytes("key", "ten bytes!");
    EXPECT_EQ(DecryptBytes("key", cipher), std::string("ten bytes!\0\0\0\0\0\0", 16));
    EXPECT_EQ(DecryptBytes("other", cipher).size(), 16u); // a wrong passphrase goes unnoticed

    std::string input = EncryptBytes("key", "8 bytes!") + "z";
    std::string output;
    Decrypt("key", input, output);
    EXPECT_EQ(input.size(), 16u);
    EXPECT_EQ(output.substr(0, 8), "8 bytes!");
    EXPECT_EQ(output.substr(8), DecryptBytes("key", std::string("z\0\0\0\0\0\0\0", 8)).substr(0, 1));
}

TEST(Base64, Rfc4648VectorsBothWays) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xfb\xff", "+/8="},
    };
    for (const auto& [bytes, text] : vectors) {
        EXPECT_EQ(Base64Encode(bytes), text);
        EXPECT_EQ(Base64Decode(text), bytes);
    }
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    for (std::size_t length = 0; length <= all.size(); ++length)
        EXPECT_EQ(Base64Decode(Base64Encode(all.data(), length)), all.substr(0, length));
}

TEST(Base64, DecodingSkipsControlsAndBlanksAndStopsAtOtherCharacters) {
    EXPECT_EQ(Base64Decode("\a\b\t\n\v\f\r Zm 9v\r\nYm\tF\ay \f"), "foobar");
    EXPECT_EQ(Base64Decode("Zm9vYg\n=="), "foob");
    EXPECT_EQ(Base64Decode("Zm9v\x06YmFy"), "foo"); // 6 and 14 are not skipped
    EXPECT_EQ(Base64Decode("Zm9v\x0eYmFy"), "foo");
    EXPECT_EQ(Base64Decode("Zg==Zm9v"), "f");
    EXPECT_EQ(Base64Decode("Zm9v*YmFy"), "foo");
    EXPECT_EQ(Base64Decode("Zm9v\xffYmFy"), "foo");
    EXPECT_EQ(Base64Decode(std::string_view("Zm9v\0YmFy", 9)), "foo");
}

TEST(Base64, TruncatedInputGivesItsWholeBytes) {
    EXPECT_EQ(Base64Decode("Zm9vYg"), "foob");
    EXPECT_EQ(Base64Decode("Zm9vYmE"), "fooba");
    EXPECT_EQ(Base64Decode("Zm9vY"), "foo");
    EXPECT_EQ(Base64Decode("Z"), "");
}
