#include "alerts/AlertItem.h"
#include "script/ActiveScriptEngine.h"
#include "script/AlertItemObject.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <thread>

namespace {

const char* const kInfoScript = "var prefix = 'Tariff';\n"
                                "function get_additional_info(page) {\n"
                                "  var m = /plan:\\s*(\\w+)/i.exec(page);\n"
                                "  if (m) AlertItem.registerinfo(prefix, m[1]);\n"
                                "  return page.length;\n"
                                "}\n";

// What one info-script run of a check costs: a fresh host, the script loaded, one function called.
void BM_CreateLoadCall(benchmark::State& state) {
    TAlertItem alert;
    TAlertItemObject face(alert);
    const std::string page = "<html><body>Your plan: Standard</body></html>";
    for (auto _ : state) {
        TActiveScriptEngine host;
        host.AddNamedObject("AlertItem", &face);
        const bool ok = host.LoadScript(kInfoScript) && host.CallFunction("get_additional_info", page);
        if (!ok) {
            state.SkipWithError("the script failed");
            break;
        }
        benchmark::DoNotOptimize(host.Result().Text().data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_CreateLoadCall)->Unit(benchmark::kMillisecond);

} // namespace

// Scripts run on worker threads in the program, so the benchmarks do too; the engine needs the
// application object on the main thread.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::thread worker([] { benchmark::RunSpecifiedBenchmarks(); });
    worker.join();
    benchmark::Shutdown();
    return 0;
}
