#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "check/CheckThread.h"
#include "check/MatchPattern.h"
#include "platform/Registry.h"
#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <memory>
#include <thread>

namespace {

const char* const kPattern = R"(Balance:\s*(-?\d+?)(\.)(\d\d))";

// A page of about `size` bytes of markup with the balance near its end.
std::string MakePage(std::size_t size) {
    std::string page = "<html><body><table>";
    for (int row = 0; page.size() + 200 < size; ++row)
        page += "<tr><td class=\"bill\">Service " + std::to_string(row) + "</td><td>Balance due: none</td></tr>\n";
    page += "<p>Balance: 1234.56</p></table></body></html>";
    return page;
}

// Everything a check needs: a loopback server with the page, a registry, a log, a folder.
struct TBench {
    QTemporaryDir dir;
    httplib::Server server;
    std::thread serverThread;
    int port = 0;
    std::unique_ptr<TRegistry> store;
    TAlertItems list;
    TLogFile log;
    std::string page = MakePage(50 * 1024);

    TBench() {
        server.Get("/page",
                   [this](const httplib::Request&, httplib::Response& res) { res.set_content(page, "text/html"); });
        port = server.bind_to_any_port("127.0.0.1");
        serverThread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::string folder = dir.path().toStdString();
        store = std::make_unique<TRegistry>(folder + "/registry.db");
        list.RegistryRoot = "Software\\Brightmoor\\Tallyglass";
        list.StateKey = Md5Hex("bench");
        list.Store = store.get();
        log.OpenLog(folder + "/log.txt");
        log.SetEnabled(true);
        const std::string script = "function get_balance(page) {\n"
                                   "  var m = /Balance:\\s*(-?\\d+)\\.(\\d\\d)/.exec(page);\n"
                                   "  return m ? 'x\\n' + m[1] + '\\n\\n' + m[2] : '';\n"
                                   "}\n";
        std::FILE* file = std::fopen((folder + "/bench.js").c_str(), "wb");
        const std::string encrypted = EncryptBytes(kDefinitionPassphrase, script);
        std::fwrite(encrypted.data(), 1, encrypted.size(), file);
        std::fclose(file);
    }
    ~TBench() {
        server.stop();
        serverThread.join();
    }

    TAlertItem& alert(const std::string& pattern) {
        auto made = std::make_unique<TAlertItem>(&list);
        made->Name = "Bench " + std::to_string(list.Count());
        made->unique_id = "BENCH" + std::to_string(list.Count());
        made->page_url = "http://127.0.0.1:" + std::to_string(port) + "/page";
        made->pattern = pattern;
        return *list.AddAlert(std::move(made));
    }
};

TBench* g_bench = nullptr;

// One complete check on this (worker) thread, as TCheckThread's worker runs it: message texts
// come from the user-interface thread, the state goes to the registry, lines to the log.
void RunChecks(benchmark::State& state, const std::string& pattern) {
    TAlertItem& alert = g_bench->alert(pattern);
    const std::string folder = g_bench->dir.path().toStdString() + "/";
    for (auto _ : state) {
        TCheckThread check(alert, folder, g_bench->log, nullptr);
        check.Execute();
        if (check.StatusText != "OK" || alert.CurrentBalance() != 123456) {
            state.SkipWithError("the check failed");
            break;
        }
    }
}

void BM_RegexCheck50K(benchmark::State& state) {
    RunChecks(state, kPattern);
}
BENCHMARK(BM_RegexCheck50K)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScriptCheck50K(benchmark::State& state) {
    RunChecks(state, "js:bench.js");
}
BENCHMARK(BM_ScriptCheck50K)->Unit(benchmark::kMillisecond)->UseRealTime();

// The matcher alone on a 1 MB page, compiled once, with and without the JIT.
void BM_Match1M(benchmark::State& state) {
    const std::string page = MakePage(1024 * 1024);
    const TCompiledPattern pattern(kPattern, state.range(0) != 0);
    if (pattern.Jitted() != (state.range(0) != 0)) {
        state.SkipWithError("JIT not available");
        return;
    }
    std::vector<std::string> list;
    for (auto _ : state) {
        if (pattern.Match(page, list) != mrMatched) {
            state.SkipWithError("no match");
            break;
        }
        benchmark::DoNotOptimize(list.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_Match1M)->Arg(0)->Arg(1)->ArgName("jit")->Unit(benchmark::kMillisecond);

// Compile and match as a check does once per pattern.
void BM_CompileAndMatch1M(benchmark::State& state) {
    const std::string page = MakePage(1024 * 1024);
    std::vector<std::string> list;
    for (auto _ : state) {
        const TCompiledPattern pattern(kPattern, state.range(0) != 0);
        benchmark::DoNotOptimize(pattern.Match(page, list));
    }
}
BENCHMARK(BM_CompileAndMatch1M)->Arg(0)->Arg(1)->ArgName("jit")->Unit(benchmark::kMillisecond);

} // namespace

// Checks run on worker threads and fetch their texts from the user-interface thread, so the
// benchmarks run on a worker while the main thread serves those calls.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    UiThread::Initialize();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TBench bench;
    g_bench = &bench;
    std::thread worker([&] {
        benchmark::RunSpecifiedBenchmarks();
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    app.exec();
    worker.join();
    UiThread::Shutdown();
    benchmark::Shutdown();
    return 0;
}
