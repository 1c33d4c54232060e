#include "platform/DateTime.h"

#include <QTimeZone>

#include <cmath>
#include <cstdint>

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kJulianDayOfZero = 2'415'019; // 1899-12-30
constexpr std::int64_t kFirstDay = -693'593;         // 0001-01-01
constexpr std::int64_t kLastDay = 2'958'465;         // 9999-12-31

struct TSplitValue {
    std::int64_t day = 0;     // days since 1899-12-30
    std::int64_t msOfDay = 0; // 0 .. kMsPerDay - 1
};

// Splits a value into its day and its time of day rounded to the millisecond. The fraction is the
// time of day on either side of day 0, so -1.25 is day -1 at 06:00.
bool Split(TDateTime value, TSplitValue& out) {
    if (!std::isfinite(value))
        return false;
    const double whole = std::trunc(value);
    if (whole < static_cast<double>(kFirstDay) || whole > static_cast<double>(kLastDay))
        return false;
    out.day = static_cast<std::int64_t>(whole);
    // value - whole is exact, so the only rounding is the one to whole milliseconds.
    out.msOfDay = std::llround(std::fabs(value - whole) * static_cast<double>(kMsPerDay));
    if (out.msOfDay >= kMsPerDay) {
        // 23:59:59.9996 rounds into the next day, except on the last day there is.
        if (out.day < kLastDay) {
            out.msOfDay -= kMsPerDay;
            ++out.day;
        } else {
            out.msOfDay = kMsPerDay - 1;
        }
    }
    return true;
}

TDateTime Combine(std::int64_t day, std::int64_t msOfDay) {
    const double fraction = static_cast<double>(msOfDay) / static_cast<double>(kMsPerDay);
    return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

std::int64_t DayNumber(const QDate& date) {
    return date.toJulianDay() - kJulianDayOfZero;
}

bool InRange(std::int64_t day) {
    return day >= kFirstDay && day <= kLastDay;
}

} // namespace

TDateTime Now() {
    return DateTimeFromQDateTime(QDateTime::currentDateTime());
}

TDateTime EncodeDate(int year, int month, int day) {
    return EncodeDateTime(year, month, day, 0, 0, 0, 0);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
    const QDate date(year, month, day);
    if (!date.isValid() || !InRange(DayNumber(date)))
        return 0;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return 0;
    const std::int64_t ms = ((hour * 60LL + minute) * 60LL + second) * 1000LL + msec;
    return Combine(DayNumber(date), ms);
}

TDateTime DateTimeFromQDateTime(const QDateTime& dt) {
    if (!dt.isValid())
        return 0;
    const QDateTime local = dt.toLocalTime();
    return Combine(DayNumber(local.date()), local.time().msecsSinceStartOfDay());
}

QDateTime QDateTimeFromDateTime(TDateTime value) {
    TSplitValue split;
    if (!Split(value, split))
        return {};
    const QDate date = QDate::fromJulianDay(kJulianDayOfZero + split.day);
    const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(split.msOfDay));
    QDateTime local(date, time, Qt::LocalTime);
    if (local.isValid())
        return local;

    // The wall-clock time does not exist (the clocks went forward over it): read it with the
    // offset of the last valid time before it, which lands as far past the change as it was
    // meant to be past its start.
    const QDateTime asUtc(date, time, QTimeZone::utc());
    for (int minutes = 15; minutes <= 48 * 60; minutes += 15) {
        const QDateTime earlier = asUtc.addSecs(-60LL * minutes);
        const QDateTime probe(earlier.date(), earlier.time(), Qt::LocalTime);
        if (probe.isValid())
            return QDateTime::fromMSecsSinceEpoch(asUtc.toMSecsSinceEpoch() - probe.offsetFromUtc() * 1000LL,
                                                  Qt::LocalTime);
    }
    return local;
}

TDecodedDateTime DecodeDateTime(TDateTime value) {
    TDecodedDateTime parts;
    TSplitValue split;
    if (!Split(value, split))
        return parts;
    const QDate date = QDate::fromJulianDay(kJulianDayOfZero + split.day);
    parts.Year = date.year();
    parts.Month = date.month();
    parts.Day = date.day();
    parts.DayOfWeek = date.dayOfWeek();
    const int ms = static_cast<int>(split.msOfDay);
    parts.Hour = ms / 3'600'000;
    parts.Minute = ms / 60'000 % 60;
    parts.Second = ms / 1000 % 60;
    parts.Msec = ms % 1000;
    return parts;
}
