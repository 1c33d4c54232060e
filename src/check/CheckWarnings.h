#pragma once

#include "alerts/AlertLimits.h"

#include <string>

class TCheckThread;

// What a finished check means for its alert's limits and failure count, shared by the program and
// the tool so both count and tell alike.
class TCheckWarnings {
public:
    // A check read a balance when it found one and set it.
    static bool BalanceRead(const TCheckThread& thread);
    // Why a check read no balance, as a line for the user: the download failed, the server answered
    // with another status than 200, or no balance was found on the page. Empty for a good check.
    static std::string FailureReason(TCheckThread& thread);
    // Applies the finished check to its alert's counts under the alert's lock and stores them.
    static TLimitVerdict Apply(TCheckThread& thread);
};
