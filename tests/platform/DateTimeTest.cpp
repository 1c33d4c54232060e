#include "platform/DateTime.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

namespace {

std::string Text(const TDecodedDateTime& p) {
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d.%03d", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second,
                             p.Msec)
        .toStdString();
}

std::string Decoded(TDateTime value) {
    return Text(DecodeDateTime(value));
}

TEST(DateTime, EncodesDaysSinceDayZeroOnBothSides) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDateTime(2026, 3, 1, 12, 0, 0, 0), 46082.5);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25); // the fraction counts forward
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
    // Parts out of range.
    EXPECT_EQ(EncodeDate(2026, 2, 29) + EncodeDate(0, 1, 1) + EncodeDate(10000, 1, 1), 0.0);
    EXPECT_EQ(EncodeDateTime(2026, 3, 1, 24, 0, 0, 0) + EncodeDateTime(2026, 3, 1, 0, 0, 0, 1000), 0.0);
}

TEST(DateTime, DecodesCalendarPartsAndWeekday) {
    EXPECT_EQ(Decoded(0), "1899-12-30 00:00:00.000");
    EXPECT_EQ(DecodeDateTime(0).DayOfWeek, 6); // Saturday
    EXPECT_EQ(TDecodedDateTime().DayOfWeek, 6);
    EXPECT_EQ(Decoded(-1.25), "1899-12-29 06:00:00.000");
    EXPECT_EQ(Decoded(-0.25), "1899-12-30 06:00:00.000");
    EXPECT_EQ(Decoded(46082.5), "2026-03-01 12:00:00.000");
    EXPECT_EQ(DecodeDateTime(46082.5).DayOfWeek, 7); // Sunday
    EXPECT_EQ(Decoded(2958465.5), "9999-12-31 12:00:00.000");
}

// Every millisecond value survives encode and decode, far on both sides of day 0.
TEST(DateTime, MillisecondsRoundTripExactly) {
    for (const int year : {1, 1800, 1899, 1900, 2026, 9999}) {
        for (int ms = 0; ms < 86'400'000; ms += 7919) {
            const TDecodedDateTime p{year, 12, 29, 0, ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000};
            ASSERT_EQ(Decoded(EncodeDateTime(year, 12, 29, p.Hour, p.Minute, p.Second, p.Msec)), Text(p));
        }
        EXPECT_EQ(Decoded(EncodeDateTime(year, 12, 29, 23, 59, 59, 999)), Text({year, 12, 29, 0, 23, 59, 59, 999}));
    }
}

TEST(DateTime, RoundsToTheNearestMillisecond) {
    EXPECT_EQ(Decoded(46082 + 59.0 / 86400), "2026-03-01 00:00:59.000");
    EXPECT_EQ(Decoded(46082 + 59.9996 / 86400), "2026-03-01 00:01:00.000");
    EXPECT_EQ(Decoded(46082 + 86399.9996 / 86400), "2026-03-02 00:00:00.000");
    EXPECT_EQ(Decoded(-0.9999999999), "1899-12-31 00:00:00.000"); // day 0 at 24:00
    EXPECT_EQ(Decoded(-1.9999999999), "1899-12-30 00:00:00.000");
    EXPECT_EQ(Decoded(2958465 + 86399.9996 / 86400), "9999-12-31 23:59:59.999"); // no year 10000
}

TEST(DateTime, NonFiniteAndOutOfRangeValuesDecodeAsDayZero) {
    const double inf = std::numeric_limits<double>::infinity();
    for (const double value : {std::nan(""), inf, -inf, 1e300, -1e300, std::numeric_limits<double>::max(),
                               std::numeric_limits<double>::lowest(), 2958466.0, -693594.0}) {
        EXPECT_EQ(Decoded(value), "1899-12-30 00:00:00.000") << value;
        EXPECT_FALSE(QDateTimeFromDateTime(value).isValid()) << value;
    }
    EXPECT_TRUE(QDateTimeFromDateTime(std::numeric_limits<double>::denorm_min()).isValid());
    EXPECT_EQ(DateTimeFromQDateTime(QDateTime()), 0.0);
}

TEST(DateTime, ConvertsToAndFromLocalQDateTime) {
    const QDateTime noon(QDate(2026, 3, 1), QTime(12, 0), Qt::LocalTime);
    EXPECT_EQ(DateTimeFromQDateTime(noon), 46082.5);
    EXPECT_EQ(DateTimeFromQDateTime(noon.toUTC()), 46082.5); // read as local wall-clock time
    EXPECT_EQ(QDateTimeFromDateTime(46082.5), noon);

    const QDateTime withMs(QDate(2026, 3, 1), QTime(13, 14, 15, 678), Qt::LocalTime);
    EXPECT_EQ(Decoded(DateTimeFromQDateTime(withMs)), "2026-03-01 13:14:15.678");
    EXPECT_EQ(QDateTimeFromDateTime(DateTimeFromQDateTime(withMs)), withMs);

    const QDateTime before(QDate(1899, 12, 29), QTime(6, 0), Qt::LocalTime);
    EXPECT_EQ(DateTimeFromQDateTime(before), -1.25);
    EXPECT_EQ(QDateTimeFromDateTime(-1.25), before);
}

// Sets TZ for the process while it lives.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (m_old)
            setenv("TZ", m_old->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> m_old;
};

QDateTime Utc(int month, int day, int hour, int minute, int second = 0, int msec = 0) {
    return QDateTime(QDate(2026, month, day), QTime(hour, minute, second, msec), Qt::UTC);
}

// Europe/Berlin: clocks go 02:00 -> 03:00 on 2026-03-29 and 03:00 -> 02:00 on 2026-10-25.
TEST(DateTime, FollowsLocalWallClockAcrossDaylightSavingChanges) {
    if (!QFileInfo::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin")))
        GTEST_SKIP() << "no zoneinfo";
    ScopedTimeZone zone("Europe/Berlin");
    if (QDateTime(QDate(2026, 7, 1), QTime(12, 0), Qt::LocalTime).offsetFromUtc() != 7200 ||
        QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::LocalTime).offsetFromUtc() != 3600)
        GTEST_SKIP() << "Qt does not follow TZ set at run time";

    EXPECT_EQ(DateTimeFromQDateTime(Utc(3, 29, 0, 59, 59, 999)), EncodeDateTime(2026, 3, 29, 1, 59, 59, 999));
    EXPECT_EQ(DateTimeFromQDateTime(Utc(3, 29, 1, 0)), EncodeDateTime(2026, 3, 29, 3, 0, 0, 0));
    // 02:30 never happened that day; it is read with the winter offset.
    EXPECT_EQ(QDateTimeFromDateTime(EncodeDateTime(2026, 3, 29, 2, 30, 0, 0)).toUTC(), Utc(3, 29, 1, 30));
    EXPECT_EQ(QDateTimeFromDateTime(EncodeDateTime(2026, 3, 29, 12, 0, 0, 0)).toUTC(), Utc(3, 29, 10, 0));

    // 02:30 happened twice in October: both instants give the same wall-clock value.
    EXPECT_EQ(DateTimeFromQDateTime(Utc(10, 25, 0, 30)), EncodeDateTime(2026, 10, 25, 2, 30, 0, 0));
    EXPECT_EQ(DateTimeFromQDateTime(Utc(10, 25, 1, 30)), EncodeDateTime(2026, 10, 25, 2, 30, 0, 0));
    EXPECT_EQ(QDateTimeFromDateTime(EncodeDateTime(2026, 10, 25, 12, 0, 0, 0)).toUTC(), Utc(10, 25, 11, 0));
}

} // namespace
