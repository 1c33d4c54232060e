#include "alerts/AlertItem.h"

#include "alerts/AlertItems.h"

#include <cmath>

int PeriodTypeSeconds(int periodType) {
    switch (periodType) {
    case static_cast<int>(TPeriodType::minutes):
        return 60;
    case static_cast<int>(TPeriodType::hours):
        return 3600;
    case static_cast<int>(TPeriodType::days):
        return 86400;
    default:
        return 60;
    }
}

TAlertItem::TAlertItem(TAlertItems* owner) : LastCheckedTime(Now()), Owner(owner) {}

void TAlertItem::SetName(std::string name) {
    std::lock_guard lock(m_mutex);
    Name = std::move(name);
}

void TAlertItem::SetActive(bool active) {
    std::lock_guard lock(m_mutex);
    Active = active;
}

void TAlertItem::SetNeedAuth(bool needAuth) {
    std::lock_guard lock(m_mutex);
    NeedAuth = needAuth;
}

void TAlertItem::SetCredentials(std::string login, std::string password) {
    std::lock_guard lock(m_mutex);
    PageLogin = std::move(login);
    PagePassword = std::move(password);
}

void TAlertItem::SetInterval(std::int32_t period, TPeriodType periodType) {
    std::lock_guard lock(m_mutex);
    Period = period;
    PeriodType = periodType;
}

void TAlertItem::RestoreUserFields(const TAlertState& state) {
    std::lock_guard lock(m_mutex);
    Name = state.Name;
    Active = state.Active;
    NeedAuth = state.NeedAuth;
    PageLogin = state.PageLogin;
    PagePassword = state.PagePassword;
    Period = state.Period;
    PeriodType = state.PeriodType;
    Limits.WarnBelow = state.Limits.WarnBelow;
    Limits.WarnAbove = state.Limits.WarnAbove;
    Limits.FailuresBeforeNotice = state.Limits.FailuresBeforeNotice;
}

void TAlertItem::SetLimits(const TAlertLimits& limits) {
    std::lock_guard lock(m_mutex);
    if (Limits.SameSettings(limits))
        return;
    Limits.WarnBelow = limits.WarnBelow;
    Limits.WarnAbove = limits.WarnAbove;
    Limits.FailuresBeforeNotice = limits.FailuresBeforeNotice;
    Limits.WarnedZone = TWarnZone::None;
}

void TAlertItem::SetBalanceLocked(std::int32_t value) {
    if (m_balances.CurrentBalance != NoBalance)
        m_balances.LastBalance = m_balances.CurrentBalance;
    m_balances.CurrentBalance = value;
}

void TAlertItem::SetBalance(std::int32_t value) {
    std::lock_guard lock(m_mutex);
    SetBalanceLocked(value);
}

void TAlertItem::SetBalances(TBalances balances) {
    std::lock_guard lock(m_mutex);
    m_balances = balances;
}

TBalances TAlertItem::Balances() const {
    std::lock_guard lock(m_mutex);
    return m_balances;
}

bool TAlertItem::BalanceChanged() const {
    const TBalances b = Balances();
    return b.LastBalance != NoBalance && b.LastBalance != b.CurrentBalance;
}

std::int32_t TAlertItem::IntervalSeconds() const {
    // Unsigned arithmetic gives the 32-bit product without the undefined behaviour of a signed overflow.
    const auto product = static_cast<std::uint32_t>(Period) *
                         static_cast<std::uint32_t>(PeriodTypeSeconds(static_cast<int>(PeriodType)));
    return static_cast<std::int32_t>(product);
}

namespace {

// A stored time that is no time at all, or that lies more than an interval ahead (the clock was
// set back), would keep the alert from ever being due; such an alert counts as due now.
bool UnusableCheckTime(double elapsedMs, double intervalMs) {
    return !std::isfinite(elapsedMs) || -elapsedMs > intervalMs;
}

// Compared in whole milliseconds, the resolution of the date-time values: a double of days cannot
// hold an hour exactly, and "one hour later" must be due, not a microsecond short of it.
double ElapsedMs(TDateTime now, TDateTime lastChecked) {
    return std::round((now - lastChecked) * kSecondsPerDay * 1000.0);
}

} // namespace

TDateTime TAlertItem::NextCheckTime(TDateTime now) const {
    const double intervalMs = static_cast<double>(IntervalSeconds()) * 1000.0;
    if (UnusableCheckTime(ElapsedMs(now, LastCheckedTime), intervalMs))
        return now;
    return LastCheckedTime + IntervalSeconds() / kSecondsPerDay;
}

bool TAlertItem::IsDue(TDateTime now) const {
    const double elapsedMs = ElapsedMs(now, LastCheckedTime);
    const double intervalMs = static_cast<double>(IntervalSeconds()) * 1000.0;
    if (UnusableCheckTime(elapsedMs, intervalMs))
        return true;
    return elapsedMs >= intervalMs;
}

TAlertState TAlertItem::State() const {
    std::lock_guard lock(m_mutex);
    return {Name, Active, NeedAuth, Period, LastCheckedTime, PeriodType, PageLogin, PagePassword, m_balances, Limits};
}

std::unique_ptr<TAlertItem> TAlertItem::CopyDefinition(TAlertItems* owner) const {
    auto copy = std::make_unique<TAlertItem>(owner);
    std::lock_guard lock(m_mutex);
    for (const auto& chunk : ChunkList)
        copy->ChunkList.push_back(std::make_unique<TChunk>(*chunk));
    copy->page_url = page_url;
    copy->pattern = pattern;
    copy->info_script = info_script;
    copy->NeedAuth = NeedAuth;
    copy->InfoValues = InfoValues;
    copy->PeriodType = PeriodType;
    copy->Period = Period;
    copy->chunks = chunks;
    copy->IsPost = IsPost;
    copy->post_data = post_data;
    copy->group_name = group_name;
    // A copy of an alert without an identity of its own has none either.
    copy->m_noStoredState = m_noStoredState || !StorableUniqueId(unique_id);
    return copy;
}
