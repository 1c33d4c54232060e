// Start-up of the program with a large collection of accounts: 2,000 active alerts in 200
// definition files, each with stored state and 50 records of history each (100,000 in all, which
// the start does not read), from the main form's creation to "Program ready.".
#include "alerts/AlertItems.h"
#include "app/ui/Application.h"
#include "app/ui/MainForm.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "history/History.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/UiThread.h"
#include "widgets/Dialogs.h"

#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

constexpr int kFiles = 200;
constexpr int kAlertsPerFile = 10;
const std::string kPassword = "bench";

std::string DefinitionText(int file) {
    std::string text = "[COMMON]\r\nlist_name=Providers " + std::to_string(file) + "\r\n\r\n";
    for (int i = 0; i < kAlertsPerFile; ++i) {
        const std::string n = std::to_string(file) + "_" + std::to_string(i);
        text += "[Account " + n + "]\r\nunique_id=BENCH_" + n + "\r\ngroup_name=Group " + std::to_string(i % 3) +
                "\r\nneed_auth=yes\r\nmethod=POST\r\npage_url=http://127.0.0.1:9/login\r\n"
                "post_data=login={LOGIN}&password={PASSWORD}\r\n"
                "pattern=<td class=\"balance\">\\s*([-0-9]+)[.,]([0-9]{2})</td>\r\n\r\n";
    }
    return text;
}

// The program folder with its definitions, and a store in which every alert is active, checked a
// minute ago and has a login and a balance.
void PrepareProfile(const std::string& programFolder) {
    const std::string alerts = programFolder + "BalanceAlerts/";
    QDir().mkpath(QString::fromStdString(alerts));
    for (int file = 0; file < kFiles; ++file) {
        std::ofstream out(alerts + "providers" + std::to_string(file) + ".bal", std::ios::binary);
        out << EncryptBytes(kDefinitionPassphrase, DefinitionText(file));
    }
    {
        auto key = TRegistry::Instance().OpenKey(kProgramKey, true);
        key->WriteString("Value_Password", Md5Hex(kPassword));
    }
    for (auto& list : LoadAlertFolder(alerts, kProgramKey, Md5Hex(kPassword))) {
        for (auto& alert : list->Alerts) {
            alert->Active = true;
            alert->PageLogin = "user";
            alert->PagePassword = "secret";
            alert->LastCheckedTime = Now() - 60.0 / kSecondsPerDay;
            alert->SetBalances({12000, 12345});
            list->SaveState(*alert);
        }
    }
    // The history the program finds in the user's data folder (none with TALLYGLASS_BENCH_NO_HISTORY=1,
    // to compare).
    if (qEnvironmentVariableIntValue("TALLYGLASS_BENCH_NO_HISTORY") == 1)
        return;
    THistory history(LocalAppDataFolder() + "tallyglass/history.db", Md5Hex(kPassword), nullptr);
    const std::int64_t now = HistoryNowMs();
    for (int file = 0; file < kFiles; ++file)
        for (int i = 0; i < kAlertsPerFile; ++i)
            for (int n = 0; n < 50; ++n) {
                TCheckRecord record;
                record.AlertKey = "BENCH_" + std::to_string(file) + "_" + std::to_string(i);
                record.TimeMs = now - (50 - n) * 1'800'000;
                record.Balance = 12000 + n;
                history.Add(std::move(record));
            }
}

long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

std::string g_programFolder;

void BM_StartUpWith2000Alerts(benchmark::State& state) {
    double resident = 0;
    for (auto _ : state) {
        PushDialogAnswer([](QDialog& dialog) {
            auto& box = dynamic_cast<TfmInputBox&>(dialog);
            box.edInput->setText(QString::fromStdString(kPassword));
            return static_cast<int>(QDialog::Accepted);
        });
        auto form = std::make_unique<TfmMain>();
        form->Settings.ExePath = g_programFolder;
        if (!form->FormCreate())
            state.SkipWithError("start-up failed");
        state.PauseTiming();
        resident = static_cast<double>(ResidentKilobytes()) * 1024.0;
        form.reset();
        state.ResumeTiming();
    }
    state.counters["resident_bytes"] =
        benchmark::Counter(resident, benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
}
BENCHMARK(BM_StartUpWith2000Alerts)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        qputenv(name, (home.path() + QLatin1Char('/') + QLatin1String(name)).toLocal8Bit());
    TApplication app(argc, argv);
    UiThread::Initialize();
    SetDialogsNonInteractive(true);
    g_programFolder = home.path().toStdString() + "/program/";
    PrepareProfile(g_programFolder);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    UiThread::Shutdown();
    return 0;
}
