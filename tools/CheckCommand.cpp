#include "Commands.h"

#include "Json.h"
#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "check/CheckThread.h"
#include "check/CheckWarnings.h"
#include "history/History.h"
#include "platform/Registry.h"
#include "translate/Messages.h"

#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

const char* const kCheckHelp =
    "Usage: tallyglass-tool check FILE.bal UNIQUE_ID [--login L | --login-file F]\n"
    "                             [--password P | --password-file F] [--state-dir DIR] [--page FILE]\n"
    "\n"
    "Runs one complete balance check of the alert UNIQUE_ID of a definition file exactly as the\n"
    "program does: downloads, steps, pattern and info scripts (from the file's folder), the balance.\n"
    "The alert's state lives in a temporary store, or in DIR/registry.db with --state-dir, so that\n"
    "the last balance and the trend carry over between runs. --page FILE takes the alert's own page\n"
    "from FILE instead of downloading it (its steps still download). Each check is recorded in the\n"
    "history beside the store (DIR/history.db; see 'tallyglass-tool history').\n"
    "The check's log lines go to standard error; standard output gets one JSON object:\n"
    "  {\"status\": \"OK\"|\"ERR\"|\"\", \"request_ok\": bool, \"balance\": s, \"last_balance\": s,\n"
    "   \"submatches\": [s], \"info\": {name: value}, \"warning\": \"below\"|\"above\"|\"\",\n"
    "   \"failed_in_a_row\": n}\n"
    "Balances read \"-\" when there is none. \"warning\" tells whether the balance lies beyond the\n"
    "alert's stored limits; \"failed_in_a_row\" counts the checks in a row that read no balance,\n"
    "this one included. Both are kept with the alert's state, as the program keeps them.\n"
    "The page login and password may also come from the first line of a file (--login-file,\n"
    "--password-file; '-' is standard input) or, when neither option is given, from the\n"
    "environment variables TALLYGLASS_LOGIN and TALLYGLASS_PASSWORD, so that they need not show\n"
    "in the process list.\n"
    "Exit codes: 0 the page came (status OK) and a balance was found in it; 1 the page or a step\n"
    "failed (status ERR); 2 bad arguments or files that cannot be read; 3 the pages came but no\n"
    "balance was found in them (a pattern or script that does not fit the page).\n";

namespace {

// The tool's own state key: its store is never the program's.
const char* const kToolStateKey = "tallyglass-tool";

int BadArguments(const std::string& message) {
    std::fprintf(stderr, "tallyglass-tool: %s\n\n%s", message.c_str(), kCheckHelp);
    return 2;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// A balance as the Balance List shows it, with "." as the separator.
std::string BalanceText(std::int32_t balance) {
    if (balance == NoBalance)
        return "-";
    const std::int64_t value = balance;
    const std::int64_t magnitude = value < 0 ? -value : value;
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld.%02lld", value < 0 ? "-" : "", static_cast<long long>(magnitude / 100),
                  static_cast<long long>(magnitude % 100));
    return text;
}

// The first line of a file ("-": standard input), without its line break.
bool ReadSecret(const std::string& path, const char* what, std::string& secret) {
    std::string bytes;
    if (!ReadInputOrReport(path, what, bytes))
        return false;
    secret = bytes.substr(0, bytes.find_first_of("\r\n"));
    return true;
}

bool FromEnvironment(const char* name, std::string& value) {
    const char* set = std::getenv(name);
    if (set == nullptr)
        return false;
    value = set;
    return true;
}

} // namespace

const char* const kToolRegistryRoot = "Software\\Brightmoor\\Tallyglass";

std::string ToolStateKey() {
    return Md5Hex(kToolStateKey);
}

bool TakeCredentials(TArgs& args, TCredentials& credentials, const char* help) {
    const auto bad = [help](const char* message) {
        std::fprintf(stderr, "tallyglass-tool: %s\n\n%s", message, help);
        return false;
    };
    TCredentials& c = credentials;
    if (!TakeOption(args, "--login", c.Login, c.HasLogin) ||
        !TakeOption(args, "--password", c.Password, c.HasPassword) ||
        !TakeOption(args, "--login-file", c.LoginFile, c.HasLoginFile) ||
        !TakeOption(args, "--password-file", c.PasswordFile, c.HasPasswordFile))
        return bad("an option is missing its value");
    if ((c.HasLogin && c.HasLoginFile) || (c.HasPassword && c.HasPasswordFile))
        return bad("give the login and the password once each");
    if (c.HasLoginFile && c.HasPasswordFile && c.LoginFile == "-" && c.PasswordFile == "-")
        return bad("only one of --login-file and --password-file can read standard input");
    return true;
}

bool ReadCredentials(TCredentials& credentials) {
    TCredentials& c = credentials;
    if ((c.HasLoginFile && !ReadSecret(c.LoginFile, "login file", c.Login)) ||
        (c.HasPasswordFile && !ReadSecret(c.PasswordFile, "password file", c.Password)))
        return false;
    c.HasLogin = c.HasLogin || c.HasLoginFile || FromEnvironment("TALLYGLASS_LOGIN", c.Login);
    c.HasPassword = c.HasPassword || c.HasPasswordFile || FromEnvironment("TALLYGLASS_PASSWORD", c.Password);
    return true;
}

int RunCheck(const TArgs& given) {
    TArgs args = given;
    TCredentials credentials;
    if (!TakeCredentials(args, credentials, kCheckHelp))
        return 2;
    std::string stateDir, pagePath;
    bool hasStateDir = false, hasPage = false;
    if (!TakeOption(args, "--state-dir", stateDir, hasStateDir) || !TakeOption(args, "--page", pagePath, hasPage))
        return BadArguments("an option is missing its value");
    if (args.size() != 2)
        return BadArguments("expected FILE.bal and UNIQUE_ID");
    if (hasStateDir && stateDir.empty())
        return BadArguments("--state-dir needs a folder");
    if (!ReadCredentials(credentials))
        return 2;
    const std::string& login = credentials.Login;
    const std::string& password = credentials.Password;
    const bool hasLogin = credentials.HasLogin, hasPassword = credentials.HasPassword;

    std::string bytes;
    if (!ReadInputOrReport(args[0], "definition file", bytes, false))
        return 2;
    WarnUnlessText(args[0], bytes);
    std::string page;
    if (hasPage && !ReadInputOrReport(pagePath, "page", page))
        return 2;

    QTemporaryDir temporary;
    if (!hasStateDir) {
        if (!temporary.isValid())
            return BadArguments("cannot make a temporary folder");
        stateDir = temporary.path().toStdString();
    }
    const auto store = std::make_unique<TRegistry>(stateDir + "/registry.db");

    TAlertItems list;
    list.FileName = args[0];
    list.RegistryRoot = kToolRegistryRoot;
    list.StateKey = ToolStateKey();
    list.Store = store.get();
    list.LoadFromBytes(std::move(bytes));
    TAlertItem* alert = list.FindByUniqueId(args[1]);
    if (alert == nullptr)
        return BadArguments("no alert '" + args[1] + "' in " + args[0]);
    {
        const auto lock = alert->Lock();
        if (hasLogin)
            alert->PageLogin = login;
        if (hasPassword)
            alert->PagePassword = password;
    }

    // The log's lines, in its format, on standard error.
    auto sharedLog = std::make_shared<TLogFile>();
    TLogFile& log = *sharedLog;
    log.OpenLog("/dev/stderr");
    log.SetEnabled(true);
    THistory history(stateDir + "/history.db", list.StateKey, sharedLog);

    // As the Balance List starts and ends a check.
    std::string status;
    bool requestOk = false;
    bool balanceFound = false;
    log.WriteLog(LoadStr(1025), {alert->Name});
    auto thread = std::make_shared<TCheckThread>(*alert, FolderOf(args[0]), log);
    if (hasPage)
        thread->PageOverride = page;
    thread->OnCheckDone = [&](TCheckThread& done) {
        status = done.StatusText;
        requestOk = done.RequestOk;
        balanceFound = done.BalanceFound;
        if (done.Alert().BalanceChanged())
            log.WriteLog(LoadStr(1047), {done.Alert().Name});
        else if (!done.RequestOk)
            log.WriteLog(LoadStr(1023), {done.Alert().Name});
    };
    thread->Resume();
    log.WriteLog(LoadStr(1026), {alert->Name});
    thread->WaitFor(-1);
    history.Add(CheckRecordOf(*thread));
    // The limits and the failure count follow the check as in the program, which tells the same.
    const TLimitVerdict verdict = TCheckWarnings::Apply(*thread);
    if (verdict.NewWarning != TWarnZone::None)
        log.WriteLog(LoadStr(verdict.NewWarning == TWarnZone::Below ? 2080 : 2081),
                     {alert->Name, BalanceText(alert->CurrentBalance()), BalanceText(verdict.Limit)});
    if (verdict.FailureNotice)
        log.WriteLog(LoadStr(2082),
                     {alert->Name, std::int64_t{verdict.FailedInARow}, TCheckWarnings::FailureReason(*thread)});
    if (verdict.ReadableAgain)
        log.WriteLog(LoadStr(2083), {alert->Name});

    std::vector<std::string> submatches;
    std::map<std::string, std::string> info;
    TAlertLimits limits;
    {
        const auto lock = alert->Lock();
        submatches = alert->ChunkList.empty() ? thread->PageMatches : alert->ChunkList.back()->Matches;
        info = alert->InfoValues;
        limits = alert->Limits;
    }
    const TBalances balances = alert->Balances();
    const TWarnZone warning =
        balances.CurrentBalance == NoBalance ? TWarnZone::None : limits.ZoneOf(balances.CurrentBalance);
    std::string json = "{\"status\": " + JsonString(status) + ", \"request_ok\": " + JsonBool(requestOk) +
                       ", \"balance\": " + JsonString(BalanceText(balances.CurrentBalance)) +
                       ", \"last_balance\": " + JsonString(BalanceText(balances.LastBalance)) + ", \"submatches\": [";
    for (std::size_t i = 0; i < submatches.size(); ++i)
        json += (i == 0 ? "" : ", ") + JsonString(submatches[i]);
    json += "], \"info\": " + JsonTextObject(info) + ", \"warning\": " + JsonString(WarnZoneName(warning)) +
            ", \"failed_in_a_row\": " + std::to_string(limits.FailedInARow) + "}\n";
    if (!WriteStdout(json))
        return 2;
    if (status != LoadStr(1008))
        return 1;
    return balanceFound ? 0 : 3;
}
