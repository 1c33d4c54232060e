#include "check/CheckWarnings.h"

#include "alerts/AlertItems.h"
#include "base/MessageFormat.h"
#include "check/CheckThread.h"
#include "translate/Messages.h"

bool TCheckWarnings::BalanceRead(const TCheckThread& thread) {
    return thread.BalanceFound;
}

std::string TCheckWarnings::FailureReason(TCheckThread& thread) {
    if (thread.BalanceFound)
        return {};
    if (!thread.RequestOk) {
        // libcurl's own words say what went wrong ("Could not resolve host", "Timeout was reached").
        const std::string& error = thread.Request().ErrorText;
        return error.empty() ? LoadStr(2085) : FormatMsg(LoadStr(2090), {error});
    }
    if (const std::int32_t status = thread.Request().StatusCode; status != 200)
        return FormatMsg(LoadStr(2086), {std::int64_t{status}});
    return LoadStr(2087);
}

TLimitVerdict TCheckWarnings::Apply(TCheckThread& thread) {
    TAlertItem& alert = thread.Alert();
    // Taken before the lock: the balances take it themselves.
    const std::optional<std::int32_t> balance =
        BalanceRead(thread) ? std::optional(alert.CurrentBalance()) : std::nullopt;
    TLimitVerdict verdict;
    {
        const auto lock = alert.Lock();
        verdict = ApplyCheckToLimits(alert.Limits, balance);
    }
    if (alert.Owner != nullptr)
        alert.Owner->SaveState(alert);
    return verdict;
}
