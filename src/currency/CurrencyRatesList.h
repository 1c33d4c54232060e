#pragma once

#include "currency/CurrencyList.h"
#include "history/History.h"
#include "history/HistorySeries.h"
#include "platform/DateTime.h"
#include "translate/TranslateFn.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TManualResetEvent;
class TRegistry;
class TGetCurrencyRatesThread;
class TLogFile;

// What a currency rates window needs of the main form.
class ICurrencyRatesOwner {
public:
    virtual ~ICurrencyRatesOwner() = default;
    // The tray balloon, shown as the program's settings allow.
    virtual void ShowBalloon(const std::string& title, const std::string& text, int timeoutMs) = 0;
    // The window of the list was shown or hidden by the user or by its stored placement.
    virtual void CurrencyWindowShown(TCurrencyList& list, bool visible) = 0;
    // The user hid the currency from the window ("Don't show this currency").
    virtual void CurrencyHidden(TCurrencyObject&) {}
    // An update completed: the rates of the list's currencies, for the history.
    virtual void RatesUpdated(std::vector<TRateRecord>) {}
    // Where the updates are recorded, for a history window; nullptr when nothing is.
    virtual std::shared_ptr<THistory> History() const { return nullptr; }
};

// Every value of every currency of the list, stamped now, keyed by the list's key.
std::vector<TRateRecord> RateRecordsOf(const TCurrencyList& list);

// How a cell is marked: the value went down, did not change (or is not watched), or went up.
enum class TChangeMark : int { Down = -1, None = 0, Up = 1 };

// One row of a rates window: a shown currency with the texts of the shown columns.
struct TCurrencyRow {
    TCurrencyObject* Currency = nullptr;
    std::vector<std::string> Cells; // one per shown column
    std::vector<TChangeMark> Marks; // one per cell; the first cell's own is always None
};

// Position, size, visibility and column widths of a rates window, kept under the list's own key
// (Software\Brightmoor\Tallyglass\CurrencyRates\State\<script file>). Values that are missing stay
// unset; a store that fails leaves them so and is not reported.
struct TCurrencyWindowPlacement {
    std::optional<int> Left, Top, Width, Height;
    std::optional<bool> WindowVisible;
    std::map<std::string, int> ColumnWidths; // by column name

    static std::string KeyOf(const TCurrencyList& list);
    void Load(TRegistry& store, const std::string& key);
    void Save(TRegistry& store, const std::string& key) const;
};

// The decisions of a list's rates window, without widgets: the rows of the shown currencies and
// their change marks, the order, the caption, and the periodic update through execute runs of the
// provider script. Every member runs on the user-interface thread, the update's completion
// included; nothing here waits on a run except StopUpdate.
class TCurrencyRatesList {
public:
    // What changed, for a view that follows the rows. Each "Before..." comes before the change.
    enum class TRowChange { BeforeReset, Reset, BeforeRemove, Removed, BeforeLayout, Layout, Changed };
    using TChangeListener = std::function<void(TRowChange change, int row)>;

    static constexpr int kCheckIntervalMs = 5000;
    static constexpr int kBalloonTimeoutMs = 10000;

    // `translate` looks up "I.<caption>" in section "ALERTS" for the column headers.
    TCurrencyRatesList(std::shared_ptr<TCurrencyList> list, ICurrencyRatesOwner& owner, std::shared_ptr<TLogFile> log,
                       TTranslateFn translate = {});
    // Stops a running update (StopUpdate).
    ~TCurrencyRatesList();
    TCurrencyRatesList(const TCurrencyRatesList&) = delete;
    TCurrencyRatesList& operator=(const TCurrencyRatesList&) = delete;

    TCurrencyList& List() const { return *m_list; }
    const std::shared_ptr<TCurrencyList>& SharedList() const { return m_list; }

    // The shown columns (Visible), in the list's order, taken when the rows are rebuilt.
    int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    const TCurrencyColumn& Column(int index) const { return m_columns.at(static_cast<std::size_t>(index)); }
    // The header of a shown column: its caption, or the caption's translation.
    const std::string& ColumnCaption(int index) const { return m_captions.at(static_cast<std::size_t>(index)); }

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    const TCurrencyRow& Row(int index) const { return m_rows.at(static_cast<std::size_t>(index)); }
    int IndexOf(const TCurrencyObject& currency) const;
    // The mark a cell is painted with: a further cell its own, the first cell that of the second.
    TChangeMark CellMark(int row, int column) const;

    // Takes the shown columns anew and fills a row for every shown currency, in the list's order,
    // then (when the list may be sorted) sorts them ascending by the sort column.
    void RebuildRows();

    // The list's name, and " (t d mmm)" of its last update when it had one.
    std::string Caption() const;

    // Sorting by a clicked column: only when the list allows it and no update runs. Each click
    // flips the direction; the first sorts ascending, the second descending.
    bool CanSortNow() const;
    // The list's own CanSort, which a list-building run may be setting at the same moment.
    bool ListCanSort() const;
    void ColumnClick(int column);
    int SortColumn() const { return m_sortColumn; }
    bool SortAscending() const { return m_sortAscending; }

    // Updates.
    bool Updating() const { return m_thread != nullptr; }
    // Starts an execute run unless one runs; the list counts as updated now. False when none started.
    bool StartUpdate();
    // The timer's tick: an update when the list is on, due and the computer online.
    void tmCheckTimerTimer();
    // Cancels a running update and waits for it (60 slices of 50 ms, serving the worker meanwhile).
    void StopUpdate();

    // The rate a history window of the cell at `row` and `column` shows: the currency of the row in
    // that column, or in the second column when the first (which names the currency) is asked for.
    // Nothing for a row that is not there.
    std::optional<THistorySubject> HistorySubject(int row, int column) const;

    // "Don't show this currency": the currency of the row is hidden for good and its row goes.
    void HideCurrency(int row);

    // Seams.
    void SetClock(std::function<TDateTime()> clock) { m_clock = std::move(clock); }
    void SetConnectivity(std::function<bool()> connected) { m_connected = std::move(connected); }
    void SetChangeListener(TChangeListener listener) { m_listener = std::move(listener); }
    // Runs after every update's completion, succeeded or not (the window sets its caption).
    std::function<void()> OnUpdateDone;

private:
    void Notify(TRowChange change, int row) const;
    bool FillRow(TCurrencyRow& row); // true when a mark was found
    void SortRows();
    void UpdateDone(TGetCurrencyRatesThread& thread);
    TDateTime ClockNow() const;

    std::shared_ptr<TCurrencyList> m_list;
    ICurrencyRatesOwner& m_owner;
    std::shared_ptr<TLogFile> m_log;
    TTranslateFn m_translate;
    std::shared_ptr<TManualResetEvent> m_cancelEvent;
    std::unique_ptr<TGetCurrencyRatesThread> m_thread;
    bool m_destroying = false;

    std::vector<TCurrencyColumn> m_columns;
    std::vector<std::string> m_captions;
    std::vector<TCurrencyRow> m_rows;
    int m_sortColumn = 0;
    bool m_sortAscending = false;

    std::function<TDateTime()> m_clock;
    std::function<bool()> m_connected;
    TChangeListener m_listener;
};

// "I.<text>" of section "ALERTS", or the text itself when there is no translation.
std::string TranslateAlertsText(const TTranslateFn& translate, const std::string& text);
