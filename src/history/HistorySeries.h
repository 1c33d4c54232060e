#pragma once

#include "history/History.h"
#include "platform/Worker.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The span of time a history window shows, ending now.
enum class THistoryRange : int { Week = 0, Month = 1, Year = 2, All = 3 };

// The length of a range in milliseconds; 0 for All.
std::int64_t RangeLengthMs(THistoryRange range);

// One record of a series: a check of an alert or one rate after an update.
struct THistoryPoint {
    std::int64_t TimeMs = 0;
    std::optional<double> Value;            // the balance in units, or the rate; none when the check read none
    std::optional<double> Change;           // against the value read before it, when both are known
    std::optional<THistoryOutcome> Outcome; // how the check ended; none for a rate
    std::int32_t HttpStatus = 0;
    std::string Reason;
};

// OutcomeText of a check's point; empty for a rate.
std::string OutcomeText(const THistoryPoint& point);

// One pixel column of a drawn series: the values of the records that fall into it.
struct TStepColumn {
    int Column = 0;
    double First = 0, Low = 0, High = 0, Last = 0;
};

// The records of one alert (or one rate) as its history window shows them, oldest first: the
// range in view, the steps of the chart, the span of values to scale it to, the change of each
// value against the one before, the failed checks to mark, and the CSV of what is in view.
// Records are read once; switching ranges and adding a live record touch only memory.
class THistorySeries {
public:
    // `decimals`: how many places the values show (2 for balances; a rate's own count).
    explicit THistorySeries(int decimals = 2) : m_decimals(decimals) {}

    static THistorySeries OfChecks(const std::vector<TCheckRecord>& records);
    static THistorySeries OfRates(const std::vector<TRateRecord>& records);

    // Appends a record in time order (a record older than the last goes to its place).
    void Add(const TCheckRecord& record);
    void Add(const TRateRecord& record);

    // The range in view, ending at `nowMs` (a later record stays in view).
    void SetRange(THistoryRange range, std::int64_t nowMs);
    THistoryRange Range() const { return m_range; }
    std::int64_t FromMs() const { return m_fromMs; }
    std::int64_t ToMs() const { return m_toMs; }

    // Every record, and those in view.
    int TotalCount() const { return static_cast<int>(m_points.size()); }
    // The time of the newest record; INT64_MIN for none.
    std::int64_t LastTimeMs() const { return m_points.empty() ? INT64_MIN : m_points.back().TimeMs; }
    int Count() const { return m_last - m_first; }
    const THistoryPoint& Point(int index) const { return m_points[static_cast<std::size_t>(m_first + index)]; }
    // The value that held when the range began: the last one read before it.
    std::optional<double> ValueBefore() const;
    // The times of the checks in view that read no value.
    std::vector<std::int64_t> FailureTimes() const;

    // Limits drawn as lines and kept inside the scale; nothing for none.
    void SetLimits(std::optional<double> below, std::optional<double> above);
    std::optional<double> LimitBelow() const { return m_limitBelow; }
    std::optional<double> LimitAbove() const { return m_limitAbove; }
    // The lowest and highest value in view (with the value before the range and the limits);
    // false when there is none. Equal ends are widened so a scale never has zero height.
    bool ValueSpan(double& low, double& high) const;

    // The values in view gathered into `columns` pixel columns over [FromMs, ToMs] (the first
    // record's time for All): a line through them draws the steps without visiting a pixel twice.
    std::vector<TStepColumn> Steps(int columns) const;

    int Decimals() const { return m_decimals; }
    // A value with the series' places and a decimal point ("-60.00"); a change keeps its sign.
    std::string ValueText(double value) const;
    // "time,value,change,outcome", then a line per record in view, oldest first: UTC times in ISO
    // 8601 ("2026-03-01T09:30:00Z"), values with a decimal point, empty fields for none, an
    // outcome with a comma or a quote quoted as CSV does.
    std::string CsvText() const;

private:
    void Append(THistoryPoint point);
    void Reindex();

    std::vector<THistoryPoint> m_points;
    int m_decimals;
    THistoryRange m_range = THistoryRange::All;
    std::int64_t m_nowMs = 0;
    std::int64_t m_fromMs = 0;
    std::int64_t m_toMs = 0;
    int m_first = 0;
    int m_last = 0;
    bool m_building = false; // filling from the file: the range is worked out once at the end
    std::optional<double> m_limitBelow;
    std::optional<double> m_limitAbove;
};

// What a history window shows: the checks of one alert, or one rate of one currency of a list.
struct THistorySubject {
    std::string AlertKey;                             // an alert's unique_id; empty for a rate
    std::string ListKey, Currency, Column;            // a rate, as TRateRecord names it
    std::string Caption;                              // the alert's name, or "<currency> <column>"
    std::optional<std::int32_t> WarnBelow, WarnAbove; // an alert's limits, hundredths

    bool IsRate() const { return AlertKey.empty(); }
    // Names the subject among the others: one window per key, and its place stored under it.
    std::string Key() const;
    bool Matches(const TCheckRecord& record) const { return !IsRate() && record.AlertKey == AlertKey; }
    bool Matches(const TRateRecord& record) const {
        return IsRate() && record.ListKey == ListKey && record.Currency == Currency && record.Column == Column;
    }
    // Every record of the subject in the history, with the limits set, the whole range in view.
    THistorySeries Read(const THistory& history) const;
};

// Reads a subject's records on a thread of its own, so that a window never waits for the file (a
// long history, or a file another program holds). The series reaches `done` on the
// user-interface thread, unless the read was cancelled first (a window that closed).
class THistoryReader final : public TWorker {
public:
    using TDone = std::function<void(THistorySeries& series)>;
    THistoryReader(THistorySubject subject, std::shared_ptr<const THistory> history, TDone done);

protected:
    void Execute() override;

private:
    THistorySubject m_subject;
    std::shared_ptr<const THistory> m_history;
    TDone m_done;
};

// "<UTC ISO 8601>": 2026-03-01T09:30:00Z.
std::string IsoTimeText(std::int64_t timeMs);

// Writes `text` to `path` (replacing it); false with the reason in `error` when it cannot.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& error);
