#include "Commands.h"

#include "Json.h"
#include "base/LogFile.h"
#include "currency/CurrencyScripts.h"
#include "currency/GetCurrencyRatesThread.h"
#include "platform/DateTime.h"
#include "platform/Events.h"
#include "platform/Registry.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <string>

const char* const kCurrencyHelp =
    "Usage: tallyglass-tool currency FILE.js [--build] [--update] [--state-dir DIR] [--plain]\n"
    "\n"
    "Loads a currency-rate provider script as the program does at start-up (decrypted unless\n"
    "--plain), then runs get_currency_list (--build) and/or execute (--update), in that order, as\n"
    "the program's worker does, saving the list after each successful run. Alerts and script errors\n"
    "are written to standard error as log lines; standard output gets one JSON object:\n"
    "  {\"page_url\", \"country_code\", \"list_name\", \"can_sort\": bool, \"failed\": bool,\n"
    "   \"columns\": [{\"name\", \"caption\", \"visible\", \"inspect_changes\"}],\n"
    "   \"currencies\": [{\"key\", \"name\", \"active\", \"values\": {column: {\"current\", \"previous\"}}}]}\n"
    "\n"
    "  --state-dir DIR   keep the stored lists in DIR between runs, so that a later --update starts\n"
    "                    from the stored values; without it a temporary store is used\n"
    "\n"
    "Exit code 0 when everything ran, 3 when the script did not load or a run failed, 2 when the\n"
    "file cannot be read.\n";

namespace {

bool TakeFlag(TArgs& args, const std::string& flag) {
    bool found = false;
    for (auto it = args.begin(); it != args.end();) {
        if (*it == flag) {
            found = true;
            it = args.erase(it);
        } else {
            ++it;
        }
    }
    return found;
}

// One run of the provider's worker; whether it completed.
bool RunWorker(TCurrencyList& list, TLogFile& log, std::uint8_t mode) {
    auto cancel = std::make_shared<TManualResetEvent>();
    TGetCurrencyRatesThread thread(mode, &log, cancel, list);
    thread.Resume();
    // The wait serves the worker's calls into this thread, its completion included.
    thread.WaitFor(-1);
    return !thread.Failed();
}

std::string ListJson(const TCurrencyList& list, bool failed) {
    const auto lock = list.Lock();
    std::string json = "{\"page_url\": " + JsonString(list.PageUrl) +
                       ", \"country_code\": " + JsonString(list.CountryCode) +
                       ", \"list_name\": " + JsonString(list.ListName) + ", \"can_sort\": " + JsonBool(list.CanSort) +
                       ", \"failed\": " + JsonBool(failed) + ", \"columns\": [";
    for (int i = 0; i < list.ColumnCount(); ++i) {
        const TCurrencyColumn& column = list.Column(i);
        json += i == 0 ? "" : ", ";
        json += "{\"name\": " + JsonString(column.ColumnName) + ", \"caption\": " + JsonString(column.Caption) +
                ", \"visible\": " + JsonBool(column.Visible) +
                ", \"inspect_changes\": " + JsonBool(column.InspectChanges) + "}";
    }
    json += "], \"currencies\": [";
    for (int i = 0; i < list.CurrencyCount(); ++i) {
        const TCurrencyObject& currency = list.Currency(i);
        json += i == 0 ? "" : ", ";
        json += "{\"key\": " + JsonString(list.CurrencyKey(i)) + ", \"name\": " + JsonString(currency.CurrencyName) +
                ", \"active\": " + JsonBool(currency.Active) + ", \"values\": {";
        bool first = true;
        for (const auto& [column, value] : currency.Values()) {
            json += first ? "" : ", ";
            first = false;
            json += JsonString(column) + ": {\"current\": " + JsonString(value.Current) +
                    ", \"previous\": " + JsonString(value.Previous) + "}";
        }
        json += "}}";
    }
    json += "]}\n";
    return json;
}

} // namespace

int RunCurrency(const TArgs& given) {
    TArgs args = given;
    std::string stateDir;
    bool hasStateDir = false;
    if (!TakeOption(args, "--state-dir", stateDir, hasStateDir) || (hasStateDir && stateDir.empty()))
        return UsageError("--state-dir needs a folder", kCurrencyHelp);
    const bool build = TakeFlag(args, "--build");
    const bool update = TakeFlag(args, "--update");
    const bool plain = TakeFlag(args, "--plain");
    if (args.size() != 1)
        return UsageError("expected one provider script", kCurrencyHelp);

    std::string bytes;
    if (!ReadInputOrReport(args[0], "script", bytes, false))
        return 2;
    if (!plain)
        WarnUnlessText(args[0], bytes);
    // The store: the given folder, or one that lives as long as this command.
    QTemporaryDir temporaryStore;
    if (!hasStateDir) {
        if (!temporaryStore.isValid()) {
            std::fprintf(stderr, "tallyglass-tool: cannot create a temporary store\n");
            return 2;
        }
        stateDir = temporaryStore.path().toStdString();
    }
    TRegistry::SetStoreDirectory(stateDir);

    TLogFile log;
    log.OpenLog("/dev/stderr");
    log.SetEnabled(true);

    std::unique_ptr<TCurrencyList> list = LoadCurrencyScript(args[0], &log, {}, nullptr, plain);
    bool failed = !list;
    if (!list) {
        list = std::make_unique<TCurrencyList>();
    } else {
        if (build) {
            failed = !RunWorker(*list, log, TGetCurrencyRatesThread::gmGetCurrencyList);
            if (!failed)
                list->SaveToRegistry(list->ListKey(), false);
        }
        if (update && !failed) {
            // As the list's window starts an update: the time is noted and saved first.
            list->LastCheckedTime = Now();
            list->SaveToRegistry(list->ListKey(), true);
            failed = !RunWorker(*list, log, TGetCurrencyRatesThread::gmExecute);
            if (!failed)
                list->SaveToRegistry(list->ListKey(), false);
        }
    }

    const std::string json = ListJson(*list, failed);
    if (!WriteStdout(json))
        return 2;
    return failed ? 3 : 0;
}
