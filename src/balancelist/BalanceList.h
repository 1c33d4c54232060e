#pragma once

#include "alerts/AlertItem.h"
#include "platform/DateTime.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TManualResetEvent;
class TCheckThread;
class TLogFile;
class THistory;
struct TCheckRecord;

// What the Balance List needs of the main form.
class IBalanceListOwner {
public:
    virtual ~IBalanceListOwner() = default;
    // A check changed the alert's balance.
    virtual void NotifyBalanceChanged(TAlertItem& alert) = 0;
    // A check brought no balance: the page could not be downloaded.
    virtual void NotifyBalanceUnavailable(TAlertItem& alert) = 0;
    // A check's outcome has something to tell about the alert's limits or failures in a row: a
    // balance newly beyond a limit, the failure that reached the count for a notice, or a balance
    // read again after it. `reason` says why the check failed (empty for a good one).
    virtual void NotifyLimits(TAlertItem& alert, const TLimitVerdict& verdict, const std::string& reason) {
        (void)alert, (void)verdict, (void)reason;
    }
    // The user switched the alert off in the list: it is no longer active.
    virtual void DeactivateAlert(TAlertItem& alert) = 0;
    // The user closed the window; it only hides.
    virtual void BalanceListClosed() = 0;
};

// Trend images of the rows (and the menu's images).
enum TBalanceImage : int {
    biNoChange = 0,
    biGrowthUp = 1,
    biGrowthDown = 2,
    biCheckNow = 3,
    biDisable = 4,
};

// The order of the "Partner" column: the bytes compared with ASCII letters folded to upper case,
// taken as unsigned. So "_", which lies between the upper- and the lower-case letters, sorts after
// every letter: "bank" < "BANKz" < "Bank_".
int CompareText(std::string_view a, std::string_view b);

// 0 when either balance is unknown or both are equal, 1 when the balance grew, 2 when it fell.
int TrendOf(const TAlertItem& alert);

// "-" for NoBalance; otherwise units, the separator and two digits of hundredths, "-" in front
// of a negative value: 12345 -> "123.45", -50 -> "-0.50".
std::string BalanceText(std::int32_t value, const std::string& decimalSeparator);

// The system locale's decimal separator (UTF-8), taken once.
const std::string& SystemDecimalSeparator();

// One row of the list, as the window shows it.
struct TBalanceRow {
    TAlertItem* Alert = nullptr;
    std::string Caption;
    int ImageIndex = biNoChange;
    std::string BalanceText; // column "$$$"
    std::string StatusText;  // column "Status": the time text, or "OK" / "ERR" after a check
    // The balance lies beyond one of the alert's limits: the amount shows as a warning.
    TWarnZone Warning = TWarnZone::None;
    // The time text last made for the row and the time it was made from: a tick formats the
    // time again only when the alert's LastCheckedTime moved.
    TDateTime TimeTextOf = 0;
    std::string TimeText;
};

// The Balance List's rows of the active alerts and its check scheduler, without widgets. Every
// member runs on the user-interface thread; the checks' completions come back to it through the
// workers' hand-over. The window shows Rows() and calls the operations below.
class TBalanceList {
public:
    static constexpr int kColumnCount = 3;
    // Columns and their sort keys.
    enum TColumn : int { colPartner = 0, colBalance = 1, colStatus = 2 };

    // What changed in the rows, told to the listener so a view can follow it. Each "Before..."
    // comes before the rows change, its partner after. `row` is the row concerned, or -1.
    enum class TRowChange {
        BeforeInsert,
        Inserted,
        BeforeRemove,
        Removed,
        BeforeLayout, // the rows are about to be reordered
        Layout,
        BeforeReset, // every row is about to go
        Reset,
        Changed, // the texts or the image of `row`
    };
    using TChangeListener = std::function<void(TRowChange change, int row)>;

    // The checks find their scripts in the folder of their alert's definition file (exePath +
    // "BalanceAlerts/" for an alert of no list) and log to `log`.
    TBalanceList(IBalanceListOwner& owner, std::shared_ptr<TLogFile> log, std::string exePath);
    // Waits for the running checks (WaitForChecks).
    ~TBalanceList();
    TBalanceList(const TBalanceList&) = delete;
    TBalanceList& operator=(const TBalanceList&) = delete;

    // Rows, in display order.
    const std::vector<TBalanceRow>& Rows() const { return m_rows; }
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    const TBalanceRow& Row(int index) const { return m_rows.at(static_cast<std::size_t>(index)); }
    // The row of the alert, or -1.
    int IndexOf(const TAlertItem& alert) const;
    bool HasRow(const TAlertItem& alert) const { return IndexOf(alert) >= 0; }

    // Appends a row for the alert unless it has one.
    void AddAlertRow(TAlertItem& alert);
    // Drops the alert's row, if any. A running check of the alert goes on; its result is applied
    // to the alert only.
    void RemoveAlertRow(TAlertItem& alert);
    // The alert got a new name: its row's caption follows.
    void RenameAlertRow(TAlertItem& alert, const std::string& caption);
    void ClearRows();

    // Checks.
    bool IsChecking(const TAlertItem& alert) const;
    int RunningCheckCount() const { return static_cast<int>(m_runningChecks.size()); }
    // Starts a check of the alert unless one is running.
    void StartCheck(TAlertItem& alert);
    // The check timer's tick: starts the first due alert's check (only while connected), and
    // refreshes the time texts of the rows before it.
    void tmCheckTimerTimer();
    // "Check Balance Now": the alert counts as checked now, and a check starts unless one runs.
    void CheckNow(TAlertItem& alert);
    // "Disable Alert": the row goes and the owner switches the alert off.
    void Disable(TAlertItem& alert);
    // A finished check: the row shows its result and the owner hears of a change or a failure.
    void CheckDone(TCheckThread& thread);
    // Cancels every running check and waits for each up to 3 seconds while serving the calls the
    // workers hand over; then forgets them. A check still running after that only touches what it
    // keeps alive, and its completion is dropped. Nothing else here waits on a worker.
    void WaitForChecks();

    // Sorting by a column: the first click sorts descending, the next ascending, and so on.
    void Sort(int column);
    int SortColumn() const { return m_sortColumn; }
    int ColumnTag(int column) const { return m_columnTags.at(static_cast<std::size_t>(column)); }

    // Texts.
    std::string BalanceText(std::int32_t value) const { return ::BalanceText(value, m_decimalSeparator); }
    // LastCheckedTime as "t  d mmm".
    static std::string TimeText(const TAlertItem& alert);
    // The rich hint of a row.
    std::string HintText(const TAlertItem& alert, int imageIndex) const;
    // The hint for the row under the pointer: its text when the row differs from the one before,
    // else empty. -1 (no row) forgets the row, so coming back builds the hint again.
    std::string HintFor(int rowIndex);
    int HintRow() const { return m_hintRow; }

    // Seams for tests and for the window.
    void SetClock(std::function<TDateTime()> clock) { m_clock = std::move(clock); }
    void SetConnectivity(std::function<bool()> connected) { m_connected = std::move(connected); }
    void SetDecimalSeparator(std::string separator) { m_decimalSeparator = std::move(separator); }
    void SetChangeListener(TChangeListener listener) { m_listener = std::move(listener); }
    // Further listeners beside the window's (a service that offers the rows elsewhere), each told
    // after the window's; the number returned removes the listener again.
    int AddChangeListener(TChangeListener listener);
    void RemoveChangeListener(int id);
    // Where every finished check is recorded; nullptr records nothing.
    void SetHistory(std::shared_ptr<THistory> history) { m_history = std::move(history); }
    const std::shared_ptr<THistory>& History() const { return m_history; }
    // Told of every finished check's record as the history gets it (a history window adds it).
    std::function<void(const TCheckRecord&)> OnCheckRecorded;
    // How long a check's download may move no byte before it fails; 0 keeps the request's own limit.
    void SetStallTimeoutMs(long milliseconds) { m_stallTimeoutMs = milliseconds; }

    const std::shared_ptr<TManualResetEvent>& CancelEvent() const { return m_cancelEvent; }

private:
    void Notify(TRowChange change, int row) const;
    void Reindex();
    void UpdateRowAfterCheck(int index, const TCheckThread& thread);
    // The row's status between checks: the time text, or how many checks failed once enough have
    // failed in a row for a notice.
    std::string RestingStatus(TBalanceRow& row) const;

    IBalanceListOwner& m_owner;
    std::shared_ptr<TLogFile> m_log;
    std::string m_exePath;
    std::vector<TBalanceRow> m_rows;
    // Row index of each listed alert; the timer scans the alerts in this index's fixed order.
    std::map<const TAlertItem*, int> m_index;
    std::map<const TAlertItem*, std::shared_ptr<TCheckThread>> m_runningChecks;
    std::shared_ptr<TManualResetEvent> m_cancelEvent;
    bool m_destroying = false;

    std::array<std::string, 3> m_trendTexts; // growth up, growth down, no change
    std::string m_infoHeader;
    std::string m_hintFormat;
    int m_hintRow = -1;
    int m_sortColumn = 0;
    std::array<int, kColumnCount> m_columnTags{};

    std::string m_decimalSeparator;
    std::function<TDateTime()> m_clock;
    std::function<bool()> m_connected;
    long m_stallTimeoutMs = 0;
    TChangeListener m_listener;
    std::map<int, TChangeListener> m_moreListeners;
    int m_nextListenerId = 1;
    std::shared_ptr<THistory> m_history;
};
