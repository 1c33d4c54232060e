#include "alerts/AlertItems.h"
#include "base/Encoders.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <string>

namespace {

// About 1 MiB of definitions: many alerts, each with a chunk section of two steps.
std::string MakeDefinitionText(std::size_t targetSize) {
    std::string text = "[COMMON]\r\nlist_name=Benchmark providers\r\n\r\n";
    for (int i = 0; text.size() < targetSize; ++i) {
        const std::string n = std::to_string(i);
        text += "[Provider " + n + "]\r\nunique_id=PROVIDER_" + n + "\r\ngroup_name=Group " + std::to_string(i % 50) +
                "\r\nneed_auth=yes\r\nmethod=POST\r\npage_url=https://provider" + n +
                ".example/login?next=account\r\npost_data=login={LOGIN}&password={PASSWORD}&remember=1\r\n"
                "pattern=<td class=\"balance\">\\s*([-0-9]+)[.,]([0-9]{2})</td>\r\nchunks=STEPS_" +
                n + "\r\n\r\n{STEPS_" + n + "}\r\nchunk_begin\r\nchunk_url=https://provider" + n +
                ".example/account\r\nchunk_method=GET\r\nchunk_pattern=js:provider.js\r\nchunk_end\r\n"
                "chunk_begin\r\nchunk_url=https://provider" +
                n + ".example/logout\r\nchunk_end\r\n\r\n";
    }
    return text;
}

void BM_ParseDefinitionText(benchmark::State& state) {
    const std::string text = MakeDefinitionText(1 << 20);
    for (auto _ : state) {
        TAlertItems list;
        list.LoadFromText(text);
        benchmark::DoNotOptimize(list.Alerts.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseDefinitionText)->Unit(benchmark::kMillisecond);

// The whole load of a 1 MiB file once read: decryption and parsing.
void BM_DecryptAndParseDefinition(benchmark::State& state) {
    const std::string cipher = EncryptBytes(kDefinitionPassphrase, MakeDefinitionText(1 << 20));
    for (auto _ : state) {
        TAlertItems list;
        list.LoadFromBytes(cipher);
        benchmark::DoNotOptimize(list.Alerts.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * cipher.size()));
}
BENCHMARK(BM_DecryptAndParseDefinition)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
