// The history's cost to the thread that adds a record (the user-interface thread in the program),
// and the rate its writer keeps up on a real file.
#include "base/Encoders.h"
#include "history/History.h"

#include <QTemporaryDir>

#include <filesystem>
#include <memory>

#include <benchmark/benchmark.h>

namespace {

TCheckRecord Sample(std::int64_t i) {
    TCheckRecord record;
    record.AlertKey = "alert" + std::to_string(i % 2000);
    record.TimeMs = HistoryNowMs();
    record.Balance = static_cast<std::int32_t>(i * 7 % 100000);
    return record;
}

// One Add as the adding thread sees it; the writer works meanwhile.
void BM_AddRecord(benchmark::State& state) {
    QTemporaryDir dir;
    THistory history(dir.path().toStdString() + "/history.db", Md5Hex("bench"), nullptr);
    std::int64_t i = 0;
    for (auto _ : state)
        history.Add(Sample(i++));
    // After the timed loop: the writer's work is not the adding thread's.
    history.Flush();
}
BENCHMARK(BM_AddRecord);

// 10,000 records added and written to the file, start to end; then the file's size per record
// once the history is closed (its journal written back into the file).
void BM_WriteTenThousand(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/history.db";
    auto history = std::make_unique<THistory>(path, Md5Hex("bench"), nullptr);
    std::int64_t i = 0;
    for (auto _ : state) {
        for (int n = 0; n < 10000; ++n)
            history->Add(Sample(i++));
        history->Flush();
    }
    history.reset();
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 10000);
    state.counters["file_bytes_per_record"] =
        static_cast<double>(std::filesystem::file_size(path)) / static_cast<double>(i);
}
BENCHMARK(BM_WriteTenThousand)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
