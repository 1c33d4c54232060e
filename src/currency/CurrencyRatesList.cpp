#include "currency/CurrencyRatesList.h"

#include "base/LogFile.h"
#include "currency/GetCurrencyRatesThread.h"
#include "platform/Connectivity.h"
#include "platform/Events.h"
#include "platform/FormatDateTime.h"
#include "platform/Registry.h"
#include "platform/Strings.h"
#include "translate/Messages.h"

#include <algorithm>

namespace {

constexpr const char* kPlacementNames[] = {"Left", "Top", "Width", "Height", "FWindowVisible"};

bool IsPlacementName(const std::string& name) {
    return std::any_of(std::begin(kPlacementNames), std::end(kPlacementNames),
                       [&name](const char* fixed) { return AsciiEqualNoCase(name, fixed); });
}

} // namespace

std::string TranslateAlertsText(const TTranslateFn& translate, const std::string& text) {
    if (!translate || text.empty())
        return text;
    std::string translated = translate("ALERTS", "I." + text);
    return translated.empty() ? text : translated;
}

// ---- Placement ----------------------------------------------------------------------------------

std::string TCurrencyWindowPlacement::KeyOf(const TCurrencyList& list) {
    return std::string(kCurrencyRatesKey) + "\\State\\" + list.ScriptFileName;
}

void TCurrencyWindowPlacement::Load(TRegistry& store, const std::string& key) {
    try {
        const auto values = store.OpenKey(key, false);
        if (!values)
            return;
        const auto integer = [&values](const char* name, std::optional<int>& field) {
            if (values->ValueExists(name))
                field = values->ReadInteger(name);
        };
        integer("Left", Left);
        integer("Top", Top);
        integer("Width", Width);
        integer("Height", Height);
        if (values->ValueExists("FWindowVisible"))
            WindowVisible = values->ReadBool("FWindowVisible");
        for (const std::string& name : values->ValueNames())
            if (!IsPlacementName(name))
                ColumnWidths[name] = values->ReadInteger(name);
    } catch (const ERegistryError&) {
        // What was read so far stays; the rest keeps its defaults.
    }
}

void TCurrencyWindowPlacement::Save(TRegistry& store, const std::string& key) const {
    try {
        const auto values = store.OpenKey(key, true);
        if (!values)
            return;
        const auto integer = [&values](const char* name, const std::optional<int>& field) {
            if (field)
                values->WriteInteger(name, *field);
        };
        integer("Left", Left);
        integer("Top", Top);
        integer("Width", Width);
        integer("Height", Height);
        if (WindowVisible)
            values->WriteBool("FWindowVisible", *WindowVisible);
        for (const auto& [name, width] : ColumnWidths)
            if (!name.empty() && !IsPlacementName(name))
                values->WriteInteger(name, width);
        values->Close();
    } catch (const ERegistryError&) {
        // Not kept; nothing else depends on it.
    }
}

// ---- Rows ---------------------------------------------------------------------------------------

TCurrencyRatesList::TCurrencyRatesList(std::shared_ptr<TCurrencyList> list, ICurrencyRatesOwner& owner,
                                       std::shared_ptr<TLogFile> log, TTranslateFn translate)
    : m_list(std::move(list)), m_owner(owner), m_log(std::move(log)), m_translate(std::move(translate)),
      m_cancelEvent(std::make_shared<TManualResetEvent>()) {}

TCurrencyRatesList::~TCurrencyRatesList() {
    m_destroying = true;
    m_listener = {};
    StopUpdate();
}

void TCurrencyRatesList::Notify(TRowChange change, int row) const {
    if (m_listener)
        m_listener(change, row);
}

TDateTime TCurrencyRatesList::ClockNow() const {
    return m_clock ? m_clock() : ::Now();
}

int TCurrencyRatesList::IndexOf(const TCurrencyObject& currency) const {
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].Currency == &currency)
            return static_cast<int>(i);
    return -1;
}

TChangeMark TCurrencyRatesList::CellMark(int row, int column) const {
    const TCurrencyRow& shown = Row(row);
    // The first cell shows the mark of the second column, so that a change is seen at a glance.
    const std::size_t cell = column == 0 ? 1 : static_cast<std::size_t>(column);
    return cell < shown.Marks.size() ? shown.Marks[cell] : TChangeMark::None;
}

bool TCurrencyRatesList::FillRow(TCurrencyRow& row) {
    row.Cells.clear();
    row.Marks.clear();
    if (m_columns.empty() || row.Currency == nullptr)
        return false;
    bool changed = false;
    const auto lock = m_list->Lock();
    row.Cells.push_back(row.Currency->ReadValue(m_columns.front().ColumnName).Current);
    row.Marks.push_back(TChangeMark::None);
    for (std::size_t i = 1; i < m_columns.size(); ++i) {
        const TCurrencyColumn& column = m_columns[i];
        const TCurrencyValue value = row.Currency->ReadValue(column.ColumnName);
        // Compared as texts, as the provider wrote them: "9.50" after "10.20" is a rise.
        TChangeMark mark = TChangeMark::None;
        if (column.InspectChanges && !value.Previous.empty()) {
            const int order = AsciiCompareNoCase(value.Current, value.Previous);
            mark = order < 0 ? TChangeMark::Down : (order > 0 ? TChangeMark::Up : TChangeMark::None);
        }
        changed = changed || mark != TChangeMark::None;
        row.Cells.push_back(value.Current);
        row.Marks.push_back(mark);
    }
    return changed;
}

void TCurrencyRatesList::RebuildRows() {
    Notify(TRowChange::BeforeReset, -1);
    m_rows.clear();
    m_columns.clear();
    m_captions.clear();
    {
        const auto lock = m_list->Lock();
        for (int i = 0; i < m_list->ColumnCount(); ++i) {
            const TCurrencyColumn& column = m_list->Column(i);
            if (!column.Visible)
                continue;
            m_columns.push_back(column);
            m_captions.push_back(TranslateAlertsText(m_translate, column.Caption));
        }
        if (!m_columns.empty()) {
            for (int i = 0; i < m_list->CurrencyCount(); ++i) {
                TCurrencyObject& currency = m_list->Currency(i);
                if (!currency.Active)
                    continue;
                TCurrencyRow row;
                row.Currency = &currency;
                FillRow(row);
                m_rows.push_back(std::move(row));
            }
        }
    }
    if (ListCanSort() && !m_rows.empty()) {
        // A fresh fill comes in ascending order and leaves the next click to sort ascending too.
        m_sortAscending = true;
        SortRows();
        m_sortAscending = false;
    }
    Notify(TRowChange::Reset, -1);
}

void TCurrencyRatesList::SortRows() {
    const std::size_t column = static_cast<std::size_t>(std::max(0, m_sortColumn));
    const bool ascending = m_sortAscending;
    std::stable_sort(m_rows.begin(), m_rows.end(), [column, ascending](const TCurrencyRow& a, const TCurrencyRow& b) {
        const std::string_view x = column < a.Cells.size() ? std::string_view(a.Cells[column]) : std::string_view();
        const std::string_view y = column < b.Cells.size() ? std::string_view(b.Cells[column]) : std::string_view();
        const int order = AsciiCompareNoCase(x, y);
        return ascending ? order < 0 : order > 0;
    });
}

std::string TCurrencyRatesList::Caption() const {
    std::string caption = m_list->ListName;
    const TDateTime last = m_list->LastCheckedTime;
    if (last != 0)
        caption += " (" + FormatDateTime("t d mmm", last) + ")";
    return caption;
}

bool TCurrencyRatesList::ListCanSort() const {
    const auto lock = m_list->Lock();
    return m_list->CanSort;
}

bool TCurrencyRatesList::CanSortNow() const {
    return ListCanSort() && !Updating();
}

void TCurrencyRatesList::ColumnClick(int column) {
    // The rows are refilled by the run's completion: no reordering under it.
    if (Updating() || column < 0 || column >= ColumnCount())
        return;
    m_sortColumn = column;
    m_sortAscending = !m_sortAscending;
    if (!ListCanSort())
        return;
    Notify(TRowChange::BeforeLayout, -1);
    SortRows();
    Notify(TRowChange::Layout, -1);
}

// ---- Updates ------------------------------------------------------------------------------------

bool TCurrencyRatesList::StartUpdate() {
    if (m_thread || m_destroying)
        return false;
    m_list->LastCheckedTime = ClockNow();
    m_list->SaveToRegistry(m_list->ListKey(), true);
    m_cancelEvent->Reset();
    m_thread = std::make_unique<TGetCurrencyRatesThread>(TGetCurrencyRatesThread::gmExecute, m_log.get(), m_cancelEvent,
                                                         *m_list);
    // A run that outlives the window's wait keeps what it uses.
    m_thread->KeepAlive(m_list);
    if (m_log)
        m_thread->KeepAlive(m_log);
    m_thread->OnDone = [this](TGetCurrencyRatesThread& done) { UpdateDone(done); };
    m_thread->Resume();
    return true;
}

void TCurrencyRatesList::tmCheckTimerTimer() {
    if (m_destroying || !m_list->Active)
        return;
    try {
        if (m_list->IsDue(ClockNow()) && (m_connected ? m_connected() : IsConnected()))
            StartUpdate();
    } catch (const std::exception&) {
        // The next tick tries again.
    }
}

void TCurrencyRatesList::UpdateDone(TGetCurrencyRatesThread& thread) {
    // The handle goes when this returns; the worker ends right after.
    const std::unique_ptr<TGetCurrencyRatesThread> finished = std::move(m_thread);
    if (!thread.Cancelled() && !thread.Failed()) {
        bool changed = false;
        std::vector<int> refilled;
        {
            const auto lock = m_list->Lock();
            for (int i = 0; i < m_list->CurrencyCount(); ++i) {
                const TCurrencyObject& currency = m_list->Currency(i);
                if (!currency.Active)
                    continue;
                const int index = IndexOf(currency);
                if (index < 0)
                    continue; // added by this run: it gets a row at the next rebuild
                changed = FillRow(m_rows[static_cast<std::size_t>(index)]) || changed;
                refilled.push_back(index);
            }
        }
        for (const int index : refilled)
            Notify(TRowChange::Changed, index);
        if (changed)
            m_owner.ShowBalloon(m_list->ListName, FormatMsg(LoadStr(1075), {m_list->ListName}), kBalloonTimeoutMs);
        m_list->SaveToRegistry(m_list->ListKey(), false);
        m_owner.RatesUpdated(RateRecordsOf(*m_list));
    }
    if (OnUpdateDone)
        OnUpdateDone();
}

void TCurrencyRatesList::StopUpdate() {
    if (!m_thread)
        return;
    const std::unique_ptr<TGetCurrencyRatesThread> stopping = std::move(m_thread);
    StopCurrencyThread(*stopping, 60);
    m_cancelEvent->Reset();
}

void TCurrencyRatesList::HideCurrency(int row) {
    if (row < 0 || row >= RowCount())
        return;
    TCurrencyObject* currency = m_rows[static_cast<std::size_t>(row)].Currency;
    {
        const auto lock = m_list->Lock();
        currency->Active = false;
    }
    m_list->SaveToRegistry(m_list->ListKey(), true);
    m_owner.CurrencyHidden(*currency);
    Notify(TRowChange::BeforeRemove, row);
    m_rows.erase(m_rows.begin() + row);
    Notify(TRowChange::Removed, row);
}

std::vector<TRateRecord> RateRecordsOf(const TCurrencyList& list) {
    std::vector<TRateRecord> records;
    const std::string listKey = list.ListKey();
    const std::int64_t now = HistoryNowMs();
    const auto lock = list.Lock();
    for (int i = 0; i < list.CurrencyCount(); ++i)
        for (const auto& [column, value] : list.Currency(i).Values())
            if (!value.Current.empty())
                records.push_back({listKey, list.CurrencyKey(i), column, now, value.Current});
    return records;
}

std::optional<THistorySubject> TCurrencyRatesList::HistorySubject(int row, int column) const {
    if (row < 0 || row >= RowCount() || ColumnCount() == 0)
        return std::nullopt;
    if (column <= 0)
        column = ColumnCount() > 1 ? 1 : 0;
    column = std::min(column, ColumnCount() - 1);
    const TCurrencyRow& shown = Row(row);
    THistorySubject subject;
    subject.ListKey = m_list->ListKey();
    subject.Column = Column(column).ColumnName;
    {
        const auto lock = m_list->Lock();
        for (int i = 0; i < m_list->CurrencyCount(); ++i)
            if (&m_list->Currency(i) == shown.Currency)
                subject.Currency = m_list->CurrencyKey(i);
    }
    if (subject.Currency.empty())
        return std::nullopt;
    const std::string& name =
        !shown.Cells.empty() && !shown.Cells.front().empty() ? shown.Cells.front() : subject.Currency;
    subject.Caption = name + " " + ColumnCaption(column);
    return subject;
}
