#pragma once

#include <QDateTime>

// The program's date-time value: days since 30 December 1899 00:00 local time, with the time of
// day as the fraction (for dates before that day the fraction still counts forward from midnight).
// Values cover the years 1 to 9999 and are resolved to the millisecond.
using TDateTime = double;

inline constexpr TDateTime kSecondsPerDay = 86400.0;

TDateTime Now();
// Parts out of range (a date outside 0001-01-01 .. 9999-12-31, hour 24, minute 60...) give 0.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec);
// Local QDateTime <-> TDateTime, to the millisecond. An invalid QDateTime gives 0;
// a TDateTime that is not finite or out of range gives an invalid QDateTime. A wall-clock time
// skipped by a daylight-saving change is read with the offset in force before the change.
TDateTime DateTimeFromQDateTime(const QDateTime& dt);
QDateTime QDateTimeFromDateTime(TDateTime value);

struct TDecodedDateTime {
    int Year = 1899, Month = 12, Day = 30, DayOfWeek = 6; // DayOfWeek 1 = Monday ... 7 = Sunday
    int Hour = 0, Minute = 0, Second = 0, Msec = 0;
};
// Splits a value into its calendar parts; values that are not finite or out of range decode as day 0.
TDecodedDateTime DecodeDateTime(TDateTime value);
