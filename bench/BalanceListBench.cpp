#include "alerts/AlertItems.h"
#include "balancelist/BalanceList.h"
#include "base/LogFile.h"
#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kRows = 2000;

struct TQuietOwner : IBalanceListOwner {
    void NotifyBalanceChanged(TAlertItem&) override {}
    void NotifyBalanceUnavailable(TAlertItem&) override {}
    void DeactivateAlert(TAlertItem&) override {}
    void BalanceListClosed() override {}
};

// A Balance List of 2,000 active alerts that are not due, in a detached list (no registry).
struct TRows {
    QTemporaryDir dir;
    TQuietOwner owner;
    std::shared_ptr<TAlertItems> alerts = std::make_shared<TAlertItems>();
    std::shared_ptr<TLogFile> log = std::make_shared<TLogFile>();
    TBalanceList list{owner, log, dir.path().toStdString() + "/"};
    int changes = 0;

    TRows() {
        log->OpenLog(dir.path().toStdString() + "/log.txt");
        log->SetEnabled(true);
        const TDateTime now = Now();
        for (int i = 0; i < kRows; ++i) {
            auto alert = std::make_unique<TAlertItem>(alerts.get());
            alert->Name = "Account " + std::to_string((i * 7919) % kRows);
            alert->unique_id = "ID" + std::to_string(i);
            alert->page_url = "htp:/unreachable";
            alert->Active = true;
            alert->LastCheckedTime = now - (i % 50) / 86400.0;
            alert->SetBalances({(i * 31) % 5000, i % 7 == 0 ? NoBalance : (i * 37) % 5000});
            list.AddAlertRow(*alerts->AddAlert(std::move(alert)));
        }
        list.SetChangeListener([this](TBalanceList::TRowChange, int) { ++changes; });
    }
};

void BM_TimerTickNoneDue(benchmark::State& state) {
    TRows rows;
    rows.list.tmCheckTimerTimer(); // the time texts are made once
    for (auto _ : state)
        rows.list.tmCheckTimerTimer();
    state.counters["rows"] = kRows;
}
BENCHMARK(BM_TimerTickNoneDue)->Unit(benchmark::kMicrosecond);

void BM_Sort(benchmark::State& state) {
    TRows rows;
    const int column = static_cast<int>(state.range(0));
    for (auto _ : state)
        rows.list.Sort(column);
    state.counters["rows"] = kRows;
}
BENCHMARK(BM_Sort)->Arg(TBalanceList::colPartner)->Arg(TBalanceList::colBalance)->Unit(benchmark::kMicrosecond);

// One check from its start to CheckDone and the row update, among 2,000 rows. The address cannot
// be reached, so the figure is the scheduler's and the thread's own cost, not a download's.
void BM_CheckToCheckDone(benchmark::State& state) {
    TRows rows;
    TAlertItem& alert = *rows.alerts->Alerts[kRows / 2];
    for (auto _ : state) {
        rows.list.StartCheck(alert);
        while (rows.list.IsChecking(alert))
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}
BENCHMARK(BM_CheckToCheckDone)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    UiThread::Initialize();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    UiThread::Shutdown();
    return 0;
}
