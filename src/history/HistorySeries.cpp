#include "history/HistorySeries.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>

namespace {

constexpr std::int64_t kDayMs = 86'400'000;

// A rate as the provider wrote it ("1.0834", " 1,0834 "); none for text that is no number.
std::optional<double> RateValue(const std::string& text, int& decimals) {
    std::string number;
    for (const char c : text)
        if (c != ' ')
            number += c == ',' ? '.' : c;
    double value = 0;
    const char* end = number.data() + number.size();
    const auto [stop, error] = std::from_chars(number.data(), end, value);
    if (number.empty() || error != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    const std::size_t point = number.find('.');
    decimals = point == std::string::npos ? 0 : static_cast<int>(number.size() - point - 1);
    return value;
}

// A CSV field: quoted when it holds a comma, a quote or a line break, its quotes doubled.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

} // namespace

std::string OutcomeText(const THistoryPoint& point) {
    if (!point.Outcome)
        return {};
    TCheckRecord record;
    record.Outcome = *point.Outcome;
    record.HttpStatus = point.HttpStatus;
    record.Reason = point.Reason;
    return OutcomeText(record);
}

std::int64_t RangeLengthMs(THistoryRange range) {
    switch (range) {
    case THistoryRange::Week:
        return 7 * kDayMs;
    case THistoryRange::Month:
        return 30 * kDayMs;
    case THistoryRange::Year:
        return 365 * kDayMs;
    case THistoryRange::All:
        break;
    }
    return 0;
}

std::string IsoTimeText(std::int64_t timeMs) {
    const std::time_t seconds = static_cast<std::time_t>(timeMs >= 0 ? timeMs / 1000 : (timeMs - 999) / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file)
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (file)
        file.close();
    if (!file) {
        error = errno != 0 ? std::strerror(errno) : "write failed";
        return false;
    }
    return true;
}

THistorySeries THistorySeries::OfChecks(const std::vector<TCheckRecord>& records) {
    THistorySeries series(2);
    series.m_points.reserve(records.size());
    series.m_building = true;
    for (const TCheckRecord& record : records)
        series.Add(record);
    series.m_building = false;
    series.Reindex();
    return series;
}

THistorySeries THistorySeries::OfRates(const std::vector<TRateRecord>& records) {
    THistorySeries series(0);
    series.m_points.reserve(records.size());
    series.m_building = true;
    for (const TRateRecord& record : records)
        series.Add(record);
    series.m_building = false;
    series.Reindex();
    return series;
}

void THistorySeries::Add(const TCheckRecord& record) {
    THistoryPoint point;
    point.TimeMs = record.TimeMs;
    if (record.Balance)
        point.Value = *record.Balance / 100.0;
    point.Outcome = record.Outcome;
    point.HttpStatus = record.HttpStatus;
    point.Reason = record.Reason;
    Append(std::move(point));
}

void THistorySeries::Add(const TRateRecord& record) {
    THistoryPoint point;
    point.TimeMs = record.TimeMs;
    int decimals = 0;
    point.Value = RateValue(record.Rate, decimals);
    // A rate shows as many places as the most precise one the provider gave, up to eight.
    m_decimals = std::max(m_decimals, std::min(decimals, 8));
    Append(std::move(point));
}

void THistorySeries::Append(THistoryPoint point) {
    if (m_points.empty() || point.TimeMs >= m_points.back().TimeMs) {
        for (auto before = m_points.rbegin(); before != m_points.rend() && point.Value; ++before)
            if (before->Value) {
                point.Change = *point.Value - *before->Value;
                break;
            }
        m_points.push_back(std::move(point));
    } else {
        // Out of order: it goes to its place, and every change is worked out again.
        const auto place = std::upper_bound(m_points.begin(), m_points.end(), point.TimeMs,
                                            [](std::int64_t time, const THistoryPoint& p) { return time < p.TimeMs; });
        m_points.insert(place, std::move(point));
        std::optional<double> previous;
        for (THistoryPoint& each : m_points) {
            each.Change.reset();
            if (each.Value && previous)
                each.Change = *each.Value - *previous;
            if (each.Value)
                previous = each.Value;
        }
    }
    m_toMs = std::max(m_toMs, m_points.back().TimeMs);
    if (!m_building)
        Reindex();
}

void THistorySeries::SetRange(THistoryRange range, std::int64_t nowMs) {
    m_range = range;
    m_nowMs = nowMs;
    m_toMs = m_points.empty() ? nowMs : std::max(nowMs, m_points.back().TimeMs);
    Reindex();
}

void THistorySeries::Reindex() {
    const std::int64_t length = RangeLengthMs(m_range);
    if (length == 0)
        m_fromMs = m_points.empty() ? m_toMs : std::min(m_points.front().TimeMs, m_toMs);
    else
        m_fromMs = m_nowMs - length;
    const auto first = std::lower_bound(m_points.begin(), m_points.end(), m_fromMs,
                                        [](const THistoryPoint& p, std::int64_t time) { return p.TimeMs < time; });
    m_first = static_cast<int>(first - m_points.begin());
    m_last = static_cast<int>(m_points.size());
}

std::optional<double> THistorySeries::ValueBefore() const {
    for (int i = m_first - 1; i >= 0; --i)
        if (m_points[static_cast<std::size_t>(i)].Value)
            return m_points[static_cast<std::size_t>(i)].Value;
    return std::nullopt;
}

std::vector<std::int64_t> THistorySeries::FailureTimes() const {
    std::vector<std::int64_t> times;
    for (int i = m_first; i < m_last; ++i)
        if (!m_points[static_cast<std::size_t>(i)].Value)
            times.push_back(m_points[static_cast<std::size_t>(i)].TimeMs);
    return times;
}

void THistorySeries::SetLimits(std::optional<double> below, std::optional<double> above) {
    m_limitBelow = below;
    m_limitAbove = above;
}

bool THistorySeries::ValueSpan(double& low, double& high) const {
    bool any = false;
    const auto take = [&](double value) {
        low = any ? std::min(low, value) : value;
        high = any ? std::max(high, value) : value;
        any = true;
    };
    for (int i = m_first; i < m_last; ++i)
        if (const auto& value = m_points[static_cast<std::size_t>(i)].Value)
            take(*value);
    if (const auto before = ValueBefore())
        take(*before);
    if (!any)
        return false;
    for (const auto& limit : {m_limitBelow, m_limitAbove})
        if (limit)
            take(*limit);
    if (high - low < 1e-9) {
        const double pad = std::max(1.0, std::abs(high) * 0.05);
        low -= pad;
        high += pad;
    }
    return true;
}

std::vector<TStepColumn> THistorySeries::Steps(int columns) const {
    std::vector<TStepColumn> steps;
    if (columns <= 0)
        return steps;
    const std::int64_t from = m_fromMs;
    const std::int64_t span = std::max<std::int64_t>(1, m_toMs - from);
    const auto columnOf = [&](std::int64_t time) {
        const double share = static_cast<double>(time - from) / static_cast<double>(span);
        return std::clamp(static_cast<int>(share * (columns - 1) + 0.5), 0, columns - 1);
    };
    const auto take = [&steps](int column, double value) {
        if (!steps.empty() && steps.back().Column == column) {
            TStepColumn& step = steps.back();
            step.Low = std::min(step.Low, value);
            step.High = std::max(step.High, value);
            step.Last = value;
        } else {
            steps.push_back({column, value, value, value, value});
        }
    };
    if (const auto before = ValueBefore())
        take(0, *before);
    for (int i = m_first; i < m_last; ++i) {
        const THistoryPoint& point = m_points[static_cast<std::size_t>(i)];
        if (point.Value)
            take(columnOf(point.TimeMs), *point.Value);
    }
    return steps;
}

std::string THistorySeries::ValueText(double value) const {
    // Rounding noise ("-0.00") shows as zero.
    if (std::abs(value) < 0.5 * std::pow(10.0, -m_decimals))
        value = 0;
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, m_decimals);
    return error == std::errc() ? std::string(text, end) : std::string();
}

std::string THistorySeries::CsvText() const {
    std::string text = "time,value,change,outcome\n";
    for (int i = m_first; i < m_last; ++i) {
        const THistoryPoint& point = m_points[static_cast<std::size_t>(i)];
        text += IsoTimeText(point.TimeMs);
        text += ',';
        if (point.Value)
            text += ValueText(*point.Value);
        text += ',';
        if (point.Change)
            text += ValueText(*point.Change);
        text += ',';
        text += CsvField(OutcomeText(point));
        text += '\n';
    }
    return text;
}

std::string THistorySubject::Key() const {
    std::string key = IsRate() ? "Rate " + ListKey + "|" + Currency + "|" + Column : "Alert " + AlertKey;
    // The key names a key of the store: no path separators in it.
    std::replace(key.begin(), key.end(), '\\', '/');
    return key;
}

THistorySeries THistorySubject::Read(const THistory& history) const {
    THistorySeries series = IsRate() ? THistorySeries::OfRates(history.Rates(ListKey, Currency, Column))
                                     : THistorySeries::OfChecks(history.Checks(AlertKey));
    const auto units = [](const std::optional<std::int32_t>& limit) -> std::optional<double> {
        if (limit)
            return *limit / 100.0;
        return std::nullopt;
    };
    series.SetLimits(units(WarnBelow), units(WarnAbove));
    return series;
}

THistoryReader::THistoryReader(THistorySubject subject, std::shared_ptr<const THistory> history, TDone done)
    : m_subject(std::move(subject)), m_history(std::move(history)), m_done(std::move(done)) {}

void THistoryReader::Execute() {
    THistorySeries series = m_subject.Read(*m_history);
    Complete([&] { m_done(series); });
}
