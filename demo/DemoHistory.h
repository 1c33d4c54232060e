#pragma once

#include "DemoBalances.h"

#include <cstdint>
#include <string>
#include <vector>

// The last balance of one demo alert, from which its history is drawn back.
struct TDemoLatest {
    std::string UniqueId;
    TDemoAccount Account;
    std::int32_t Balance; // hundredths
    std::int64_t TimeMs;  // when it was read
};

// Three weeks of hourly checks before each alert's last balance, in the history file at `path`
// under `stateKey`: the bank account's salary and spending, the prepaid plan running down to a
// top-up, the wallet filling up, and a few failed checks among them. The series end at the
// balances the store holds, so the first real checks carry them on.
bool WriteDemoHistory(const std::string& path, const std::string& stateKey, const std::vector<TDemoLatest>& latest,
                      std::string& error);
