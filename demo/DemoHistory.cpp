#include "DemoHistory.h"

#include "history/History.h"

namespace {

constexpr int kHours = 21 * 24;
constexpr std::int64_t kHourMs = 3'600'000;

// A small, repeatable wobble of -3..+3 units.
std::int32_t Wobble(std::int64_t hour, std::int32_t unit) {
    const std::uint64_t x = static_cast<std::uint64_t>(hour) * 0x9E3779B97F4A7C15ULL;
    return static_cast<std::int32_t>((x >> 59) % 7) * unit - 3 * unit;
}

// The balance `hours` before the last one, and how that check ended.
TCheckRecord RecordAt(const TDemoLatest& latest, int hours) {
    TCheckRecord record;
    record.AlertKey = latest.UniqueId;
    record.TimeMs = latest.TimeMs - hours * kHourMs;
    std::int32_t balance = latest.Balance;
    switch (latest.Account) {
    case TDemoAccount::Bank:
        // About 26.00 spent a day; the salary came in sixteen days ago.
        balance += 110 * hours + Wobble(hours, 150) - (hours > 16 * 24 ? 150000 : 0);
        if (hours >= 100 && hours <= 102) {
            record.Outcome = THistoryOutcome::HttpStatus;
            record.HttpStatus = 503;
        }
        break;
    case TDemoAccount::Mobile:
        // Calls take 0.24 every six hours; topped up with 20.00 nine days ago.
        balance += 24 * (hours / 6) - (hours > 9 * 24 ? 2000 : 0);
        if (hours == 300) {
            record.Outcome = THistoryOutcome::DownloadFailed;
            record.Reason = "Timeout was reached";
        }
        break;
    case TDemoAccount::Wallet:
        balance -= 8 * hours + Wobble(hours, 40);
        if (hours == 50)
            record.Outcome = THistoryOutcome::NoBalanceFound;
        break;
    }
    if (record.Outcome == THistoryOutcome::BalanceRead)
        record.Balance = balance;
    return record;
}

} // namespace

bool WriteDemoHistory(const std::string& path, const std::string& stateKey, const std::vector<TDemoLatest>& latest,
                      std::string& error) {
    THistory history(path, stateKey, nullptr);
    for (const TDemoLatest& alert : latest)
        for (int hours = kHours; hours >= 1; --hours)
            history.Add(RecordAt(alert, hours));
    history.Flush();
    if (!history.Available()) {
        error = "cannot write the demo's history into " + path;
        return false;
    }
    return true;
}
