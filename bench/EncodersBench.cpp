#include "base/Encoders.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>

namespace {

constexpr std::size_t kMiB = 1 << 20;

std::string RandomBytes(std::size_t count) {
    std::mt19937 random(1);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// Our Decrypt over a whole buffer: key derivation, table set-up and the blocks.
void BM_Decrypt(benchmark::State& state) {
    const std::string cipher = RandomBytes(static_cast<std::size_t>(state.range(0)));
    std::string input;
    std::string output;
    for (auto _ : state) {
        input = cipher;
        Decrypt(kDefinitionPassphrase, input, output);
        benchmark::DoNotOptimize(output.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Decrypt)->Arg(64)->Arg(kMiB);

void BM_Encrypt(benchmark::State& state) {
    const std::string plain = RandomBytes(static_cast<std::size_t>(state.range(0)));
    std::string input;
    std::string output;
    for (auto _ : state) {
        input = plain;
        Encrypt(kDefinitionPassphrase, input, output);
        benchmark::DoNotOptimize(output.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Encrypt)->Arg(kMiB);

struct TCipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

// OpenSSL's des-ede3-ecb decryption without padding, same key and size, for comparison.
void BM_OpenSslDecrypt(benchmark::State& state) {
    const std::string key = Md5Hex(kDefinitionPassphrase).substr(0, 24);
    const std::string cipher = RandomBytes(static_cast<std::size_t>(state.range(0)));
    std::string output(cipher.size() + 8, '\0');
    const std::unique_ptr<EVP_CIPHER_CTX, TCipherContextFree> context(EVP_CIPHER_CTX_new());
    const auto* keyBytes = reinterpret_cast<const unsigned char*>(key.data());
    if (!EVP_DecryptInit_ex(context.get(), EVP_des_ede3_ecb(), nullptr, keyBytes, nullptr)) {
        // Some OpenSSL 3 configurations keep the DES ciphers in the legacy provider.
        OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER_load(nullptr, "default");
        if (!EVP_DecryptInit_ex(context.get(), EVP_des_ede3_ecb(), nullptr, keyBytes, nullptr)) {
            state.SkipWithError("des-ede3-ecb is not available");
            return;
        }
    }
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    for (auto _ : state) {
        int written = 0;
        int last = 0;
        EVP_DecryptInit_ex(context.get(), nullptr, nullptr, keyBytes, nullptr);
        EVP_DecryptUpdate(context.get(), reinterpret_cast<unsigned char*>(output.data()), &written,
                          reinterpret_cast<const unsigned char*>(cipher.data()), static_cast<int>(cipher.size()));
        EVP_DecryptFinal_ex(context.get(), reinterpret_cast<unsigned char*>(output.data()) + written, &last);
        benchmark::DoNotOptimize(output.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_OpenSslDecrypt)->Arg(64)->Arg(kMiB);

void BM_Md5Hex(benchmark::State& state) {
    const std::string message = RandomBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Md5Hex(message));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Md5Hex)->Arg(8)->Arg(kMiB);

} // namespace

BENCHMARK_MAIN();
