#include "balancelist/BalanceList.h"

#include "alerts/AlertItems.h"
#include "base/LogFile.h"
#include "check/CheckThread.h"
#include "check/CheckWarnings.h"
#include "history/History.h"
#include "platform/Connectivity.h"
#include "platform/Events.h"
#include "platform/FormatDateTime.h"
#include "platform/Strings.h"
#include "translate/Messages.h"

#include <QLocale>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

int CompareText(std::string_view a, std::string_view b) {
    return AsciiCompareFolded(a, b, [](char c) { return AsciiUpper(c); });
}

int TrendOf(const TAlertItem& alert) {
    const TBalances b = alert.Balances();
    if (b.CurrentBalance == NoBalance || b.LastBalance == NoBalance || b.LastBalance == b.CurrentBalance)
        return biNoChange;
    return b.LastBalance < b.CurrentBalance ? biGrowthUp : biGrowthDown;
}

std::string BalanceText(std::int32_t value, const std::string& decimalSeparator) {
    if (value == NoBalance)
        return "-";
    // Widened first: the magnitude of the smallest 32-bit value does not fit in 32 bits.
    const auto magnitude = static_cast<std::uint64_t>(std::llabs(static_cast<long long>(value)));
    char hundredths[4];
    std::snprintf(hundredths, sizeof hundredths, "%02u", static_cast<unsigned>(magnitude % 100));
    return (value < 0 ? "-" : "") + std::to_string(magnitude / 100) + decimalSeparator + hundredths;
}

const std::string& SystemDecimalSeparator() {
    static const std::string separator = QLocale::system().decimalPoint().toStdString();
    return separator;
}

TBalanceList::TBalanceList(IBalanceListOwner& owner, std::shared_ptr<TLogFile> log, std::string exePath)
    : m_owner(owner), m_log(std::move(log)), m_exePath(std::move(exePath)),
      m_cancelEvent(std::make_shared<TManualResetEvent>()), m_decimalSeparator(SystemDecimalSeparator()),
      m_clock([] { return Now(); }), m_connected([] { return IsConnected(); }) {
    m_trendTexts = {LoadStr(1020), LoadStr(1021), LoadStr(1022)};
    m_infoHeader = LoadStr(1024);
    m_hintFormat = LoadStr(1019);
}

TBalanceList::~TBalanceList() {
    WaitForChecks();
}

void TBalanceList::Notify(TRowChange change, int row) const {
    if (m_listener)
        m_listener(change, row);
    for (const auto& [id, listener] : m_moreListeners)
        listener(change, row);
}

int TBalanceList::AddChangeListener(TChangeListener listener) {
    const int id = m_nextListenerId++;
    m_moreListeners.emplace(id, std::move(listener));
    return id;
}

void TBalanceList::RemoveChangeListener(int id) {
    m_moreListeners.erase(id);
}

void TBalanceList::Reindex() {
    m_index.clear();
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_index.emplace(m_rows[i].Alert, static_cast<int>(i));
}

int TBalanceList::IndexOf(const TAlertItem& alert) const {
    const auto it = m_index.find(&alert);
    return it == m_index.end() ? -1 : it->second;
}

void TBalanceList::AddAlertRow(TAlertItem& alert) {
    if (HasRow(alert))
        return;
    TBalanceRow row;
    row.Alert = &alert;
    row.Caption = alert.Name;
    row.ImageIndex = TrendOf(alert);
    row.BalanceText = BalanceText(alert.CurrentBalance());
    row.TimeTextOf = alert.LastCheckedTime;
    row.TimeText = TimeText(alert);
    row.StatusText = RestingStatus(row);
    const int index = RowCount();
    Notify(TRowChange::BeforeInsert, index);
    m_rows.push_back(std::move(row));
    m_index.emplace(&alert, index);
    Notify(TRowChange::Inserted, index);
}

void TBalanceList::RemoveAlertRow(TAlertItem& alert) {
    const int index = IndexOf(alert);
    if (index < 0)
        return;
    Notify(TRowChange::BeforeRemove, index);
    m_rows.erase(m_rows.begin() + index);
    Reindex();
    if (m_hintRow >= index)
        m_hintRow = -1;
    Notify(TRowChange::Removed, index);
}

void TBalanceList::RenameAlertRow(TAlertItem& alert, const std::string& caption) {
    const int index = IndexOf(alert);
    if (index < 0 || m_rows[static_cast<std::size_t>(index)].Caption == caption)
        return;
    m_rows[static_cast<std::size_t>(index)].Caption = caption;
    if (m_hintRow == index)
        m_hintRow = -1;
    Notify(TRowChange::Changed, index);
}

void TBalanceList::ClearRows() {
    Notify(TRowChange::BeforeReset, -1);
    m_rows.clear();
    m_index.clear();
    m_hintRow = -1;
    Notify(TRowChange::Reset, -1);
}

bool TBalanceList::IsChecking(const TAlertItem& alert) const {
    return m_runningChecks.count(&alert) != 0;
}

void TBalanceList::StartCheck(TAlertItem& alert) {
    if (IsChecking(alert))
        return;
    m_log->WriteLog(LoadStr(1025), {alert.Name});
    // Scripts named by a definition lie beside its file, in the shipped folder or the user's own.
    std::string folder = alert.Owner != nullptr ? DefinitionFolder(*alert.Owner) : std::string();
    if (folder.empty())
        folder = m_exePath + "BalanceAlerts/";
    auto thread = std::make_shared<TCheckThread>(alert, folder, *m_log, m_cancelEvent);
    if (m_stallTimeoutMs > 0)
        thread->Request().StallTimeoutMs = m_stallTimeoutMs;
    // A check that outlives the window's wait at shutdown still has its alert, list and log.
    if (alert.Owner != nullptr)
        thread->KeepAlive(alert.Owner->weak_from_this().lock());
    thread->KeepAlive(m_log);
    thread->OnCheckDone = [this](TCheckThread& done) { CheckDone(done); };
    m_runningChecks.emplace(&alert, thread);
    try {
        thread->Resume();
    } catch (...) {
        m_runningChecks.erase(&alert);
        throw;
    }
    m_log->WriteLog(LoadStr(1026), {alert.Name});
}

void TBalanceList::tmCheckTimerTimer() {
    if (m_destroying)
        return;
    const TDateTime now = m_clock();
    for (const auto& [key, index] : m_index) {
        TBalanceRow& row = m_rows[static_cast<std::size_t>(index)];
        TAlertItem& alert = *row.Alert;
        if (!alert.Active)
            continue;
        try {
            if (alert.IsDue(now) && m_connected()) {
                {
                    const auto lock = alert.Lock();
                    alert.LastCheckedTime = now;
                }
                if (alert.Owner != nullptr)
                    alert.Owner->SaveState(alert);
                StartCheck(alert);
                break;
            }
            if (row.TimeText.empty() || !(row.TimeTextOf == alert.LastCheckedTime)) {
                row.TimeTextOf = alert.LastCheckedTime;
                row.TimeText = TimeText(alert);
            }
            // Limits the user changed show at the next tick.
            const TWarnZone warning = row.Warning;
            if (std::string status = RestingStatus(row); row.StatusText != status || row.Warning != warning) {
                row.StatusText = std::move(status);
                Notify(TRowChange::Changed, index);
            }
        } catch (const std::exception&) {
            // One row's failure leaves the others to be looked at.
        }
    }
}

void TBalanceList::CheckNow(TAlertItem& alert) {
    {
        const auto lock = alert.Lock();
        alert.LastCheckedTime = m_clock();
    }
    if (alert.Owner != nullptr)
        alert.Owner->SaveState(alert);
    StartCheck(alert);
}

void TBalanceList::Disable(TAlertItem& alert) {
    RemoveAlertRow(alert);
    m_owner.DeactivateAlert(alert);
}

std::string TBalanceList::RestingStatus(TBalanceRow& row) const {
    TAlertLimits limits;
    {
        const auto lock = row.Alert->Lock();
        limits = row.Alert->Limits;
    }
    const std::int32_t balance = row.Alert->CurrentBalance();
    row.Warning = balance == NoBalance ? TWarnZone::None : limits.ZoneOf(balance);
    if (limits.FailureNoticeDue())
        return FormatMsg(LoadStr(2084), {std::int64_t{limits.FailedInARow}});
    return row.TimeText;
}

void TBalanceList::UpdateRowAfterCheck(int index, const TCheckThread& thread) {
    TBalanceRow& row = m_rows[static_cast<std::size_t>(index)];
    row.BalanceText = BalanceText(row.Alert->CurrentBalance());
    // A failure that makes the count shows the count; any other outcome its "OK" or "ERR".
    const std::string resting = RestingStatus(row);
    row.StatusText = resting != row.TimeText ? resting : thread.StatusText;
    row.ImageIndex = TrendOf(*row.Alert);
    if (m_hintRow == index)
        m_hintRow = -1;
    Notify(TRowChange::Changed, index);
}

void TBalanceList::CheckDone(TCheckThread& thread) {
    if (m_destroying)
        return;
    TAlertItem& alert = thread.Alert();
    const auto entry = m_runningChecks.find(&alert);
    if (entry == m_runningChecks.end() || entry->second.get() != &thread)
        return;
    // The entry goes last, whatever the owner's handlers do: a check whose entry stayed would
    // keep its alert from ever being checked again.
    struct Forget {
        TBalanceList& list;
        TAlertItem& alert;
        ~Forget() { list.m_runningChecks.erase(&alert); }
    } forget{*this, alert};
    if (m_history) {
        TCheckRecord record = CheckRecordOf(thread);
        if (OnCheckRecorded)
            OnCheckRecorded(record);
        m_history->Add(std::move(record));
    }
    // Only an active alert counts its outcomes: one the user switched off while its check ran has
    // nothing more to tell.
    TLimitVerdict verdict;
    if (alert.Active)
        verdict = TCheckWarnings::Apply(thread);
    if (const int index = IndexOf(alert); index >= 0)
        UpdateRowAfterCheck(index, thread);
    if (!alert.Active)
        return;
    // Only a balance this check set is news: a check that found none leaves the two balances of
    // an earlier change as they were, and that change was told when it happened.
    if (thread.BalanceFound && alert.BalanceChanged())
        m_owner.NotifyBalanceChanged(alert);
    else if (!thread.RequestOk)
        m_owner.NotifyBalanceUnavailable(alert);
    if (verdict.NewWarning != TWarnZone::None || verdict.FailureNotice || verdict.ReadableAgain)
        m_owner.NotifyLimits(alert, verdict, TCheckWarnings::FailureReason(thread));
}

void TBalanceList::WaitForChecks() {
    m_destroying = true;
    m_cancelEvent->Set();
    for (const auto& [alert, thread] : m_runningChecks) {
        thread->Cancel();
        for (int attempt = 0; attempt < 30 && !thread->Finished(); ++attempt)
            thread->WaitFor(100);
    }
    m_runningChecks.clear();
}

void TBalanceList::Sort(int column) {
    if (column < 0 || column >= kColumnCount)
        return;
    m_sortColumn = column;
    int& tag = m_columnTags[static_cast<std::size_t>(column)];
    tag = tag == 0 ? 1 : 0;
    // The balances are taken once, before the first comparison: a check may set one meanwhile, and
    // a comparison that changes its mind halfway leaves the sort's order undefined.
    std::map<const TAlertItem*, std::int32_t> balances;
    if (column == colBalance)
        for (const TBalanceRow& row : m_rows)
            balances.emplace(row.Alert, row.Alert->CurrentBalance());
    // Negative, zero or positive in ascending order of the column.
    const auto compare = [column, &balances](const TBalanceRow& a, const TBalanceRow& b) -> int {
        switch (column) {
        case colPartner:
            return CompareText(a.Caption, b.Caption);
        case colBalance: {
            const std::int32_t x = balances.at(a.Alert), y = balances.at(b.Alert);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        default:
            return 0;
        }
    };
    const bool descending = tag == 1;
    Notify(TRowChange::BeforeLayout, -1);
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const TBalanceRow& a, const TBalanceRow& b) {
        return descending ? compare(b, a) < 0 : compare(a, b) < 0;
    });
    Reindex();
    m_hintRow = -1;
    Notify(TRowChange::Layout, -1);
}

std::string TBalanceList::TimeText(const TAlertItem& alert) {
    return FormatDateTime("t  d mmm", alert.LastCheckedTime);
}

std::string TBalanceList::HintText(const TAlertItem& alert, int imageIndex) const {
    std::string name;
    std::map<std::string, std::string> info;
    TDateTime lastChecked = 0;
    {
        // A check's info script may be registering values right now.
        const auto lock = alert.Lock();
        name = alert.Name;
        info = alert.InfoValues;
        lastChecked = alert.LastCheckedTime;
    }
    const TBalances balances = alert.Balances();
    const std::string& trend = imageIndex == biGrowthUp     ? m_trendTexts[0]
                               : imageIndex == biGrowthDown ? m_trendTexts[1]
                                                            : m_trendTexts[2];
    std::string infoBlock;
    if (!info.empty()) {
        infoBlock = m_infoHeader;
        for (const auto& [key, value] : info)
            infoBlock += "\r\n    " + key + ": " + value;
        infoBlock += "\r\n\r\n";
    }
    return FormatMsg(m_hintFormat,
                     {name, BalanceText(balances.LastBalance), BalanceText(balances.CurrentBalance), trend, infoBlock,
                      FormatDateTime("c", lastChecked), FormatDateTime("c", alert.NextCheckTime(m_clock()))});
}

std::string TBalanceList::HintFor(int rowIndex) {
    if (rowIndex < 0 || rowIndex >= RowCount()) {
        m_hintRow = -1;
        return {};
    }
    if (rowIndex == m_hintRow)
        return {};
    m_hintRow = rowIndex;
    const TBalanceRow& row = Row(rowIndex);
    return HintText(*row.Alert, row.ImageIndex);
}
