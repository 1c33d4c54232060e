// The history window over 100,000 records of one alert (five years of checks every half hour):
// opening it with the chart drawn, and switching the range with the chart drawn again.
#include "base/Encoders.h"
#include "history/History.h"
#include "history/ui/HistoryChart.h"
#include "history/ui/HistoryWindow.h"
#include "platform/Registry.h"
#include "platform/UiThread.h"

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kRecords = 100'000;
constexpr std::int64_t kHalfHourMs = 1'800'000;

struct TFixture {
    QTemporaryDir dir;
    std::unique_ptr<TRegistry> store;
    std::shared_ptr<THistory> history;
    THistorySubject subject;
};

TFixture& Fixture() {
    static TFixture fixture = [] {
        TFixture made;
        made.store = std::make_unique<TRegistry>(made.dir.path().toStdString() + "/registry.db");
        made.history =
            std::make_shared<THistory>(made.dir.path().toStdString() + "/history.db", Md5Hex("bench"), nullptr);
        const std::int64_t now = HistoryNowMs();
        for (int i = 0; i < kRecords; ++i) {
            TCheckRecord record;
            record.AlertKey = "bench-alert";
            record.TimeMs = now - static_cast<std::int64_t>(kRecords - i) * kHalfHourMs;
            // A balance that drifts and now and then fails to be read.
            if (i % 97 == 0) {
                record.Outcome = THistoryOutcome::DownloadFailed;
                record.Reason = "Timeout was reached";
            } else {
                record.Balance = 50'000 + (i * 7919 % 20'000) - i / 10;
            }
            made.history->Add(record);
        }
        made.history->Flush();
        made.subject.AlertKey = "bench-alert";
        made.subject.Caption = "Bench";
        made.subject.WarnBelow = 40'000;
        made.subject.WarnAbove = 68'000;
        return made;
    }();
    return fixture;
}

// The window's chart painted as the screen would get it.
void DrawChart(TfmHistory& window) {
    QImage image(window.chHistory->size(), QImage::Format_ARGB32_Premultiplied);
    window.chHistory->render(&image);
    benchmark::DoNotOptimize(image.constBits());
}

// The window's records are read on a worker and handed over through the event loop: the wall time
// is the user's wait for the chart, the CPU time the user-interface thread's share of it.
void WaitUntilLoaded(const TfmHistory& window) {
    // Sleeps until an event comes, so the CPU time counts only the user-interface thread's work.
    while (window.Loading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void BM_OpenHistoryWindow(benchmark::State& state) {
    TFixture& fixture = Fixture();
    for (auto _ : state) {
        TfmHistory window(fixture.subject, fixture.history, *fixture.store, nullptr);
        window.resize(800, 600);
        WaitUntilLoaded(window);
        window.ShowRange(THistoryRange::All);
        DrawChart(window);
        if (window.Series().TotalCount() != kRecords)
            state.SkipWithError("records missing");
    }
}
BENCHMARK(BM_OpenHistoryWindow)->Unit(benchmark::kMillisecond);

void BM_SwitchHistoryRange(benchmark::State& state) {
    TFixture& fixture = Fixture();
    TfmHistory window(fixture.subject, fixture.history, *fixture.store, nullptr);
    window.resize(800, 600);
    WaitUntilLoaded(window);
    const THistoryRange ranges[] = {THistoryRange::All, THistoryRange::Week, THistoryRange::Year, THistoryRange::Month};
    std::size_t next = 0;
    for (auto _ : state) {
        window.ShowRange(ranges[next++ % 4]);
        DrawChart(window);
    }
}
BENCHMARK(BM_SwitchHistoryRange)->Unit(benchmark::kMillisecond);

// The chart of all the records drawn again, as a repaint does.
void BM_DrawHistoryChart(benchmark::State& state) {
    TFixture& fixture = Fixture();
    TfmHistory window(fixture.subject, fixture.history, *fixture.store, nullptr);
    window.resize(800, 600);
    WaitUntilLoaded(window);
    window.ShowRange(THistoryRange::All);
    for (auto _ : state)
        DrawChart(window);
}
BENCHMARK(BM_DrawHistoryChart)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    UiThread::Initialize();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    UiThread::Shutdown();
    return 0;
}
