#include "DemoProfile.h"

#include "DemoBalances.h"
#include "DemoHistory.h"
#include "DemoSite.h"

#include "alerts/AlertItems.h"
#include "alerts/StateSaver.h"
#include "app/ProgramSettings.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "currency/CurrencyRatesList.h"
#include "currency/CurrencyScripts.h"
#include "history/History.h"
#include "platform/DateTime.h"
#include "platform/Registry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kMarker = ".tallyglass-demo-profile";
constexpr const char* kSitePlaceholder = "@DEMO_SITE@";
// Where the shipped ECB provider downloads its rates from, and where the demo site serves them.
constexpr const char* kEcbRatesUrl = "\"https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml\"";
constexpr const char* kDemoRatesPath = "/ecb/eurofxref-daily.xml";
constexpr const char* kEcbScript = "ecb.js";

// The demo alerts, by identity, with the account behind each, its page login and its limits
// (hundredths, 0 for none).
struct TDemoAlert {
    const char* uniqueId;
    TDemoAccount account;
    const char* login;
    const char* password;
    std::int32_t warnBelow;
    std::int32_t warnAbove;
};

// The wallet holds more than its limit from the start, so the first check warns.
constexpr TDemoAlert kDemoAlerts[] = {
    {"DEMO_BANK_CURRENT", TDemoAccount::Bank, TDemoSite::kBankLogin, TDemoSite::kBankPassword, 100000, 0},
    {"DEMO_MOBILE_PREPAID", TDemoAccount::Mobile, TDemoSite::kMobileLogin, TDemoSite::kMobilePassword, 1000, 0},
    {"DEMO_WALLET", TDemoAccount::Wallet, "", "", 0, 5000},
};

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A path inside single quotes for sh.
std::string ShellQuote(const std::string& text) {
    return "'" + ReplaceAll(text, "'", "'\\''") + "'";
}

bool MakeFolder(const std::string& path, std::string& error) {
    std::error_code failure;
    fs::create_directories(path, failure);
    if (failure) {
        error = "cannot make " + path + ": " + failure.message();
        return false;
    }
    return true;
}

} // namespace

TDemoProfile::TDemoProfile(std::string root) : Root(std::move(root)) {
    if (Root.empty() || Root.back() != '/')
        Root += '/';
}

bool TDemoProfile::Reset(std::string& error) const {
    std::error_code failure;
    if (fs::exists(Root, failure)) {
        if (!fs::is_directory(Root, failure)) {
            error = Root + " exists and is not a folder";
            return false;
        }
        if (!fs::is_empty(Root, failure) && !fs::exists(Root + kMarker, failure)) {
            error = Root + " is not empty and holds no earlier demo profile; choose another folder";
            return false;
        }
        for (const auto& entry : fs::directory_iterator(Root, failure))
            fs::remove_all(entry.path(), failure);
        if (failure) {
            error = "cannot empty " + Root + ": " + failure.message();
            return false;
        }
    }
    if (!MakeFolder(Root, error) || !MakeFolder(AlertsFolder(), error) || !MakeFolder(ConfigHome(), error) ||
        !MakeFolder(DataHome(), error) || !MakeFolder(RuntimeDir(), error))
        return false;
    // The runtime folder must be the user's alone, as a session's is.
    if (chmod(RuntimeDir().c_str(), 0700) != 0) {
        error = "cannot make " + RuntimeDir() + " private";
        return false;
    }
    if (!WriteFile(Root + kMarker, "A throwaway profile made by tallyglass-demo; it is emptied on every run.\n")) {
        error = "cannot write in " + Root;
        return false;
    }
    return true;
}

bool TDemoProfile::InstallProgram(const std::string& binFolder, std::string& error) const {
    std::error_code failure;
    const std::string program = binFolder + "tallyglass";
    if (!fs::is_regular_file(program, failure)) {
        error = "no program at " + program + " (build it first)";
        return false;
    }
    // A link costs nothing; a copy serves where the profile lies on another file system.
    fs::create_hard_link(program, ProgramFile(), failure);
    if (failure && !fs::copy_file(program, ProgramFile(), fs::copy_options::overwrite_existing, failure)) {
        error = "cannot copy " + program + ": " + failure.message();
        return false;
    }
    for (const char* folder : {"CurrencyRates", "translations"}) {
        const std::string from = binFolder + folder;
        if (!fs::is_directory(from, failure))
            continue;
        fs::copy(from, ProgramFolder() + folder, fs::copy_options::recursive | fs::copy_options::overwrite_existing,
                 failure);
        if (failure) {
            error = "cannot copy " + from + ": " + failure.message();
            return false;
        }
    }
    return true;
}

bool TDemoProfile::WriteStore(const std::string& password, std::int64_t period, std::string& error) const {
    try {
        TRegistry store(StoreFile());

        TProgramSettings settings;
        settings.ExePath = ProgramFolder();
        settings.DataPath = DataHome() + "TallyData/";
        // Saving applies the auto-start entry: it has to be the profile's, never the user's.
        settings.AutoStartFile = ConfigHome() + "autostart/tallyglass.desktop";
        settings.ProgramFilePath = ProgramFile();
        settings.AutoStart = false;
        settings.BalanceWindowVisible = true;
        settings.SetPassword(password);
        // A stored program key is what tells the program that its first run is over.
        settings.SaveSettings(store);

        const auto lists = LoadAlertFolder(AlertsFolder(), kProgramKey, settings.PasswordHash, nullptr, {}, &store);
        int found = 0;
        const TDateTime lastRun = Now() - 1.0 / 24;
        std::vector<TDemoLatest> latest;
        for (const auto& list : lists) {
            for (int i = 0; i < list->Count(); ++i) {
                TAlertItem& alert = list->Item(i);
                for (const TDemoAlert& demo : kDemoAlerts) {
                    if (alert.unique_id != demo.uniqueId)
                        continue;
                    ++found;
                    {
                        const auto lock = alert.Lock();
                        alert.Active = true;
                        alert.Period = 1;
                        alert.PeriodType = TPeriodType::minutes;
                        alert.PageLogin = demo.login;
                        alert.PagePassword = demo.password;
                        // Checked an hour ago with a one-minute interval: due the moment the program starts.
                        alert.LastCheckedTime = lastRun;
                    }
                    alert.SetBalances(
                        {DemoBalanceAt(demo.account, period - 61), DemoBalanceAt(demo.account, period - 60)});
                    TAlertLimits limits;
                    if (demo.warnBelow != 0)
                        limits.WarnBelow = demo.warnBelow;
                    if (demo.warnAbove != 0)
                        limits.WarnAbove = demo.warnAbove;
                    alert.SetLimits(limits);
                    list->SaveState(alert);
                    latest.push_back({demo.uniqueId, demo.account, DemoBalanceAt(demo.account, period - 60),
                                      HistoryNowMs() - 3'600'000});
                }
            }
        }
        // A Balance List wide enough for the demo's account names and the time of the last check,
        // beside the settings and rates windows rather than under them.
        TStateSaver state;
        state[kStateLeft] = 320;
        state[kStateTop] = 120;
        state[kStateListLeft] = 760;
        state[kStateListTop] = 120;
        state[kStateListWidth] = 400;
        state[kStateListHeight] = 150;
        state[kStateListColumnWidths[0]] = 170;
        state[kStateListColumnWidths[1]] = 80;
        state.Save(kProgramKey, store);
        if (found != static_cast<int>(std::size(kDemoAlerts))) {
            error = "the demo definitions in " + AlertsFolder() + " hold " + std::to_string(found) + " of the " +
                    std::to_string(std::size(kDemoAlerts)) + " demo alerts";
            return false;
        }
        // Weeks of checks before that hour, for the history window.
        if (!WriteDemoHistory(DataHome() + "tallyglass/history.db", settings.PasswordHash, latest, error))
            return false;
    } catch (const ERegistryError& e) {
        error = std::string("cannot write the settings store: ") + e.what();
        return false;
    }
    return true;
}

bool TDemoProfile::WriteCurrencyStore(std::int64_t period, std::string& error) const {
    try {
        TRegistry store(StoreFile());
        const auto list = LoadCurrencyScript(CurrencyFolder() + kEcbScript, nullptr, {}, &store);
        if (!list) {
            error = "cannot load the rates provider " + CurrencyFolder() + kEcbScript;
            return false;
        }
        // The columns and currencies as the provider's get_currency_list registers them.
        list->RegisterColumn("currency", "Currency", false);
        list->RegisterColumn("rate", "EUR 1 =", true);
        list->CanSort = true;
        for (const TDemoRate& rate : DemoRatesAt(period - 60)) {
            TCurrencyObject& currency = list->FindOrAddCurrency(rate.Code);
            currency.CurrencyName = rate.Code;
            currency.Active = std::any_of(std::begin(kDemoShownCurrencies), std::end(kDemoShownCurrencies),
                                          [&rate](const char* shown) { return rate.Code == shown; });
            currency.SetBothTexts("currency", rate.Code);
            currency.SetBothTexts("rate", rate.Rate);
        }
        list->Active = true;
        list->Period = 1;
        list->PeriodType = TPeriodType::minutes;
        list->LastCheckedTime = Now() - 1.0 / 24;
        list->SaveToRegistry(list->ListKey(), false);

        // Top left, clear of the Balance List in the middle of the screen.
        TCurrencyWindowPlacement placement;
        placement.Left = 40;
        placement.Top = 40;
        placement.Width = 240;
        placement.Height = 170;
        placement.WindowVisible = true;
        placement.ColumnWidths["currency"] = 80;
        placement.Save(store, TCurrencyWindowPlacement::KeyOf(*list));
    } catch (const ERegistryError& e) {
        error = std::string("cannot write the settings store: ") + e.what();
        return false;
    }
    return true;
}

bool TDemoProfile::WriteShowSettingsScript(std::string& error) const {
    const std::string script = "#!/bin/sh\n"
                               "# Starts the program in the demo profile; while it runs, this brings up its settings "
                               "window.\n"
                               "export XDG_CONFIG_HOME=" +
                               ShellQuote(ConfigHome()) + " XDG_DATA_HOME=" + ShellQuote(DataHome()) +
                               " XDG_RUNTIME_DIR=" + ShellQuote(RuntimeDir()) + "\nexec " + ShellQuote(ProgramFile()) +
                               " \"$@\"\n";
    if (!WriteFile(ShowSettingsScript(), script) || chmod(ShowSettingsScript().c_str(), 0755) != 0) {
        error = "cannot write " + ShowSettingsScript();
        return false;
    }
    return true;
}

QProcessEnvironment TDemoProfile::Environment(const QProcessEnvironment& base) const {
    QProcessEnvironment environment = base;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(ConfigHome()));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(DataHome()));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(RuntimeDir()));
    // The checks honour the proxy settings of the environment; the demo site is not behind them.
    for (const QString& name : {QStringLiteral("no_proxy"), QStringLiteral("NO_PROXY")}) {
        const QString value = environment.value(name);
        environment.insert(name, value.isEmpty() ? QStringLiteral("127.0.0.1,localhost")
                                                 : value + QStringLiteral(",127.0.0.1,localhost"));
    }
    return environment;
}

bool WriteDemoRatesProvider(const std::string& folder, const std::string& siteAddress, std::string& error) {
    const std::string path = folder + kEcbScript;
    std::ifstream in(path, std::ios::binary);
    const std::string shipped((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string script = DecryptBytes(kDefinitionPassphrase, shipped);
    script = script.substr(0, script.find('\0'));
    const std::size_t at = script.find(kEcbRatesUrl);
    if (shipped.empty() || at == std::string::npos) {
        error = "no rates address to replace in " + path;
        return false;
    }
    script.replace(at, std::string(kEcbRatesUrl).size(), "\"" + siteAddress + kDemoRatesPath + "\"");
    if (!WriteFile(path, EncryptBytes(kDefinitionPassphrase, script))) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool WriteDemoDefinitions(const std::string& folder, const std::string& siteAddress, std::string& error) {
    // The sources are compiled into the demo (see demo/CMakeLists.txt).
    int written = 0;
    QDirIterator sources(QStringLiteral(":/demo/BalanceAlerts"), QDir::Files);
    while (sources.hasNext()) {
        QFile source(sources.next());
        if (!source.open(QIODevice::ReadOnly)) {
            error = "cannot read " + source.fileName().toStdString();
            return false;
        }
        const std::string text = ReplaceAll(source.readAll().toStdString(), kSitePlaceholder, siteAddress);
        const std::string target = folder + QFileInfo(source).fileName().toStdString();
        if (!WriteFile(target, EncryptBytes(kDefinitionPassphrase, text))) {
            error = "cannot write " + target;
            return false;
        }
        ++written;
    }
    if (written == 0) {
        error = "the demo definitions are missing from the program";
        return false;
    }
    return true;
}
