#include "alerts/AlertItems.h"
#include "balancelist/BalanceList.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "platform/Registry.h"
#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

// The endurance run: the scheduler, the checks and the store check 20 alerts over and over against a
// local server whose answers take turns: a normal page, a failure, a stall past the download's time
// limit, garbage, and a page with a new balance. It reports resident memory after the warm-up and at
// the end, open files and threads before and after, and checks per second.
//
//   TALLYGLASS_ENDURANCE_CHECKS      checks in all (default 10000)
//   TALLYGLASS_ENDURANCE_WARMUP      checks before the first memory reading (default a tenth)
//   TALLYGLASS_ENDURANCE_TIMEOUT_MS  how long a download may stall before it fails (default 500)

namespace {

constexpr int kAlerts = 20;

long EnvNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != nullptr && *end == '\0' && value > 0 ? value : fallback;
}

// A field of /proc/self/status ("VmRSS", "Threads"), as its leading number.
long StatusField(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    }
    return -1;
}

long OpenFiles() {
    long count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++count;
    return count;
}

// Bytes the program holds from the allocator, without what it freed and the allocator kept.
long HeapInUseKb() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

struct TProbe {
    long heapKb = HeapInUseKb();
    long rssKb = StatusField("VmRSS");
    long threads = StatusField("Threads");
    long files = OpenFiles();
};

struct TCountingOwner : IBalanceListOwner {
    int changed = 0;
    int unavailable = 0;
    void NotifyBalanceChanged(TAlertItem&) override { ++changed; }
    void NotifyBalanceUnavailable(TAlertItem&) override { ++unavailable; }
    void DeactivateAlert(TAlertItem&) override {}
    void BalanceListClosed() override {}
};

// The local server. Each request gets the next of the five answers.
struct TServer {
    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::atomic<unsigned> requests{0};
    std::atomic<int> answering{0};
    std::atomic<int> balance{100};

    explicit TServer(long stallMs) {
        // A stalled answer holds its worker a while after the check gave up on it, so workers are
        // plenty: a request that waited for one would stall where it should not.
        server.new_task_queue = [] { return new httplib::ThreadPool(8 * kAlerts); };
        server.Get(R"(/alert/(\d+))", [this, stallMs](const httplib::Request&, httplib::Response& res) {
            ++answering;
            struct TDone {
                std::atomic<int>& answering;
                ~TDone() { --answering; }
            } done{answering};
            switch (requests++ % 5) {
            case 0: // normal: the balance as it stands
                res.set_content("<p>Balance: " + std::to_string(balance.load()) + ".00</p>", "text/html");
                break;
            case 1: // failure
                res.status = 503;
                res.set_content("busy", "text/plain");
                break;
            case 2: // stall past the client's limit; the answer comes too late
                std::this_thread::sleep_for(std::chrono::milliseconds(stallMs + 100));
                res.set_content("<p>Balance: 1.00</p>", "text/html");
                break;
            case 3: { // garbage: no balance anywhere in it
                std::string junk(4096, '\0');
                for (std::size_t i = 0; i < junk.size(); ++i)
                    junk[i] = static_cast<char>((i * 131 + requests) % 251);
                res.set_content(junk, "application/octet-stream");
                break;
            }
            default: // a new balance
                res.set_content("<p>Balance: " + std::to_string(++balance) + ".00</p>", "text/html");
                break;
            }
        });
        server.Get("/ping", [](const httplib::Request&, httplib::Response& res) { res.set_content("", "text/plain"); });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // One answer, so the server's workers are all there before the first count of threads.
        httplib::Client("127.0.0.1", port).Get("/ping");
    }
    ~TServer() {
        server.stop();
        thread.join();
    }
};

void BM_Endurance(benchmark::State& state) {
    const long totalChecks = EnvNumber("TALLYGLASS_ENDURANCE_CHECKS", 10000);
    const long warmupChecks = EnvNumber("TALLYGLASS_ENDURANCE_WARMUP", totalChecks / 10);
    const long stallMs = EnvNumber("TALLYGLASS_ENDURANCE_TIMEOUT_MS", 500);

    for (auto _ : state) {
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString() + "/";
        TServer server(stallMs);
        TRegistry store(folder + "registry.db");
        auto alerts = std::make_shared<TAlertItems>();
        alerts->RegistryRoot = "Software\\Brightmoor\\Tallyglass";
        alerts->StateKey = Md5Hex("endurance");
        alerts->Store = &store;
        auto log = std::make_shared<TLogFile>();
        log->OpenLog(folder + "log.txt");
        log->SetEnabled(true);
        TCountingOwner owner;
        TBalanceList list(owner, log, folder);
        list.SetConnectivity([] { return true; });
        list.SetStallTimeoutMs(stallMs);
        // Each tick moves the clock a twentieth of the interval on, so the alerts fall due in turn.
        TDateTime clock = Now();
        list.SetClock([&clock] { return clock; });
        for (int i = 0; i < kAlerts; ++i) {
            auto alert = std::make_unique<TAlertItem>(alerts.get());
            alert->Name = "Account " + std::to_string(i);
            alert->unique_id = "END" + std::to_string(i);
            alert->page_url = "http://127.0.0.1:" + std::to_string(server.port) + "/alert/" + std::to_string(i);
            alert->pattern = R"(Balance:\s*(-?\d+)(\.)(\d\d))";
            alert->Active = true;
            list.AddAlertRow(*alerts->AddAlert(std::move(alert)));
        }
        const double step = alerts->Alerts.front()->IntervalSeconds() / kSecondsPerDay / kAlerts + 1e-8;

        const TProbe start;
        TProbe warm;
        long started = 0;
        bool warmedUp = false;
        const auto begin = std::chrono::steady_clock::now();
        auto warmedAt = begin;
        const auto deadline = begin + std::chrono::minutes(30);
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            if (started < totalChecks) {
                const int before = list.RunningCheckCount();
                clock += step;
                list.tmCheckTimerTimer();
                started += list.RunningCheckCount() - before;
            }
            const long done = started - list.RunningCheckCount();
            if (!warmedUp && done >= warmupChecks) {
                warmedUp = true;
                warm = TProbe();
                warmedAt = std::chrono::steady_clock::now();
            }
            if ((done >= totalChecks && list.RunningCheckCount() == 0) || std::chrono::steady_clock::now() > deadline)
                QCoreApplication::quit();
        });
        ticker.start(1);
        QCoreApplication::exec();
        ticker.stop();
        const auto end = std::chrono::steady_clock::now();
        const long done = started - list.RunningCheckCount();
        if (done < totalChecks) {
            state.SkipWithError("the checks did not finish within 30 minutes");
            break;
        }
        // The workers' threads end just after their last hand-over, and the server's stalled answers
        // (with their connections) a little after the checks gave up on them.
        for (int i = 0; i < 500 && (StatusField("Threads") > start.threads || server.answering > 0); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const TProbe last;

        const double seconds = std::chrono::duration<double>(end - begin).count();
        const double steadySeconds = std::chrono::duration<double>(end - warmedAt).count();
        state.counters["checks"] = static_cast<double>(done);
        state.counters["checks_per_s"] = static_cast<double>(done) / seconds;
        state.counters["checks_per_s_after_warmup"] = static_cast<double>(done - warmupChecks) / steadySeconds;
        state.counters["changed"] = owner.changed;
        state.counters["unavailable"] = owner.unavailable;
        state.counters["requests"] = server.requests.load();
        state.counters["rss_start_kB"] = static_cast<double>(start.rssKb);
        state.counters["rss_warm_kB"] = static_cast<double>(warm.rssKb);
        state.counters["rss_end_kB"] = static_cast<double>(last.rssKb);
        state.counters["rss_growth_kB"] = static_cast<double>(last.rssKb - warm.rssKb);
        state.counters["heap_warm_kB"] = static_cast<double>(warm.heapKb);
        state.counters["heap_end_kB"] = static_cast<double>(last.heapKb);
        state.counters["fds_start"] = static_cast<double>(start.files);
        state.counters["fds_end"] = static_cast<double>(last.files);
        state.counters["threads_start"] = static_cast<double>(start.threads);
        state.counters["threads_end"] = static_cast<double>(last.threads);
    }
}
BENCHMARK(BM_Endurance)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

// The Balance List lives on the user-interface thread, which also serves the checks' hand-overs.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    UiThread::Initialize();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    UiThread::Shutdown();
    return 0;
}
