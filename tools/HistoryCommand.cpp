#include "Commands.h"

#include "Json.h"
#include "alerts/AlertItem.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "history/History.h"
#include "platform/Paths.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

const char* const kHistoryHelp =
    "Usage: tallyglass-tool history [UNIQUE_ID] [--state-dir DIR] [--since YYYY-MM-DD]\n"
    "                               [--format csv|json] [--password-file F]\n"
    "\n"
    "Prints the recorded checks, oldest first: of the alert UNIQUE_ID, or of every alert.\n"
    "Without --state-dir it reads the program's own history ($XDG_DATA_HOME/tallyglass/history.db),\n"
    "whose balances are encrypted under the program password: give it as the first line of a file\n"
    "(--password-file; '-' is standard input) or in TALLYGLASS_PROGRAM_PASSWORD. With --state-dir\n"
    "it reads DIR/history.db, which 'tallyglass-tool check --state-dir DIR' writes, and needs none.\n"
    "--since takes the records from that day on (00:00 UTC).\n"
    "csv (the default): one header line, then alert,time,balance,outcome,http_status,reason with\n"
    "ISO 8601 UTC times and a decimal point; json: one array of such objects. The outcome is one of\n"
    "balance, no_balance, http_status, download_failed.\n"
    "Exit codes: 0 printed (also when there was nothing to print); 1 bad arguments; 2 the password\n"
    "or the output could not be read or written.\n";

namespace {

// The tool's own state key, as its check uses for a --state-dir store.
const char* const kToolStateKey = "tallyglass-tool";

std::string IsoTime(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string AmountText(const std::optional<std::int32_t>& balance) {
    if (!balance || *balance == NoBalance)
        return {};
    const std::int64_t value = *balance;
    const std::int64_t magnitude = value < 0 ? -value : value;
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld.%02lld", value < 0 ? "-" : "", static_cast<long long>(magnitude / 100),
                  static_cast<long long>(magnitude % 100));
    return text;
}

const char* OutcomeName(THistoryOutcome outcome) {
    switch (outcome) {
    case THistoryOutcome::BalanceRead:
        return "balance";
    case THistoryOutcome::NoBalanceFound:
        return "no_balance";
    case THistoryOutcome::HttpStatus:
        return "http_status";
    case THistoryOutcome::DownloadFailed:
        return "download_failed";
    }
    return "";
}

// A field of the CSV output, quoted when it holds a separator, a quote or a line break.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// "YYYY-MM-DD" as milliseconds at 00:00 UTC of that day.
bool ParseDay(const std::string& text, std::int64_t& ms) {
    int year = 0, month = 0, day = 0;
    char tail = 0;
    if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail) != 3 || month < 1 ||
        month > 12 || day < 1 || day > 31 || year < 1970)
        return false;
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    const std::time_t seconds = timegm(&parts);
    if (parts.tm_mday != day) // 2026-02-31 rolled over into March
        return false;
    ms = static_cast<std::int64_t>(seconds) * 1000;
    return true;
}

} // namespace

int RunHistory(const TArgs& given) {
    TArgs args = given;
    std::string stateDir, since, format = "csv", passwordFile;
    bool hasStateDir = false, hasSince = false, hasFormat = false, hasPasswordFile = false;
    if (!TakeOption(args, "--state-dir", stateDir, hasStateDir) || !TakeOption(args, "--since", since, hasSince) ||
        !TakeOption(args, "--format", format, hasFormat) ||
        !TakeOption(args, "--password-file", passwordFile, hasPasswordFile))
        return UsageError("an option is missing its value", kHistoryHelp);
    if (args.size() > 1)
        return UsageError("expected at most one UNIQUE_ID", kHistoryHelp);
    if (hasStateDir && stateDir.empty())
        return UsageError("--state-dir needs a folder", kHistoryHelp);
    if (format != "csv" && format != "json")
        return UsageError("--format is csv or json", kHistoryHelp);
    std::int64_t fromMs = 0;
    if (hasSince && !ParseDay(since, fromMs))
        return UsageError("--since needs a day as YYYY-MM-DD", kHistoryHelp);

    std::string path, stateKey;
    if (hasStateDir) {
        path = stateDir + "/history.db";
        stateKey = Md5Hex(kToolStateKey);
    } else {
        std::string password;
        if (hasPasswordFile) {
            std::string bytes;
            if (!ReadInputOrReport(passwordFile, "password file", bytes))
                return 2;
            password = bytes.substr(0, bytes.find_first_of("\r\n"));
        } else if (const char* set = std::getenv("TALLYGLASS_PROGRAM_PASSWORD"); set != nullptr) {
            password = set;
        } else {
            return UsageError("the program's own history needs the program password (--password-file or "
                              "TALLYGLASS_PROGRAM_PASSWORD)",
                              kHistoryHelp);
        }
        path = LocalAppDataFolder() + "tallyglass/history.db";
        stateKey = Md5Hex(password);
    }

    auto log = std::make_shared<TLogFile>();
    log->OpenLog("/dev/stderr");
    log->SetEnabled(true);
    std::vector<TCheckRecord> records;
    {
        // Only read: the writer of this history never gets a record.
        const THistory history(path, stateKey, log, false);
        records = args.empty() ? history.AllChecks(fromMs) : history.Checks(args[0], fromMs);
    }

    std::string out;
    if (format == "csv") {
        out = "alert,time,balance,outcome,http_status,reason\n";
        for (const TCheckRecord& r : records)
            out += CsvField(r.AlertKey) + "," + IsoTime(r.TimeMs) + "," + AmountText(r.Balance) + "," +
                   OutcomeName(r.Outcome) + "," + (r.HttpStatus != 0 ? std::to_string(r.HttpStatus) : "") + "," +
                   CsvField(r.Reason) + "\n";
    } else {
        out = "[";
        for (std::size_t i = 0; i < records.size(); ++i) {
            const TCheckRecord& r = records[i];
            out += std::string(i == 0 ? "\n" : ",\n") + "  {\"alert\": " + JsonString(r.AlertKey) +
                   ", \"time\": " + JsonString(IsoTime(r.TimeMs)) +
                   ", \"balance\": " + (r.Balance ? JsonString(AmountText(r.Balance)) : std::string("null")) +
                   ", \"outcome\": " + JsonString(OutcomeName(r.Outcome)) +
                   ", \"http_status\": " + std::to_string(r.HttpStatus) + ", \"reason\": " + JsonString(r.Reason) + "}";
        }
        out += records.empty() ? "]\n" : "\n]\n";
    }
    return WriteStdout(out) ? 0 : 2;
}
