#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The demo site's three accounts.
enum class TDemoAccount { Bank, Mobile, Wallet };

inline constexpr TDemoAccount kDemoAccounts[] = {TDemoAccount::Bank, TDemoAccount::Mobile, TDemoAccount::Wallet};

// Balances in hundredths, a pure function of the period number (whole steps of the site's clock).
// Each account drifts along a cycle with a little noise on top, so that successive periods show
// rises, falls and the same balance again, while two periods an hour of minutes apart (60 to 63
// periods) never show the same balance: a profile seeded with the balances of an hour earlier
// therefore sees a change at its first check.
std::int32_t DemoBalanceAt(TDemoAccount account, std::int64_t period);

// The period number of a moment: whole steps of `stepSeconds` since the Unix epoch.
std::int64_t DemoPeriodOf(std::int64_t unixSeconds, int stepSeconds);

// The balance as the site's pages write it: units, a point and two digits; with thousands
// separators when `grouped`.
std::string DemoAmountText(std::int32_t hundredths, bool grouped = false);

// The demo's euro reference rates: a few currencies whose rates walk up or down with the period
// like the balances do, so that rates a period apart differ for some of them and rates an hour of
// periods apart differ for every one but JPY, which stays fixed.
struct TDemoRate {
    std::string Code;
    std::string Rate; // as the rates file writes it: "1.0939"
};
std::vector<TDemoRate> DemoRatesAt(std::int64_t period);
// The rates in the format of the central bank's daily file.
std::string DemoRatesFile(std::int64_t period);
