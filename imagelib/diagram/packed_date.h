// Dates and times packed into numbers, the way measurement programs store them in
// diagram abscissae. A packed date holds the day in bits 0-4, the month in bits 5-8
// and the years since 1960 from bit 9 up. An abscissa value of 65536 or more is a
// packed date x 86400 + the seconds of that day; a smaller value is a packed date
// alone (midnight).
#pragma once

#include <string>

namespace tvx::imagelib {

struct CalendarTime {
    int year = 1960;
    int month = 1;       // 1..12
    int day = 1;         // 1..31
    double seconds = 0;  // of the day, 0 <= seconds < 86400, fractions kept
};

// Values from here on carry a time of day.
constexpr double kPackedWithTime = 65536;

int packDate(int year, int month, int day);

// The calendar time of a packed value (either form). False for values that name no
// date: negative, not finite, a month outside 1..12 or day 0.
bool unpackDateValue(double value, CalendarTime& out);
// The packed date x 86400 + seconds form.
double packDateValue(const CalendarTime& time);

// Seconds since 1960-01-01 00:00 of the calendar (days of 86400 seconds): the
// linear scale a date axis is drawn on. Day numbers past the month's end run on
// into the next month, as date arithmetic does.
double calendarSeconds(const CalendarTime& time);
CalendarTime calendarFromSeconds(double seconds);

// Seconds since 1970 (UTC) as the local calendar time, packed. The packed form
// starts in 1960: earlier times give 1960-01-01 00:00. NaN stays NaN.
double packedFromUnixSeconds(double unixSeconds);

// "2024-03-05 14:07:09", with ".250" when the seconds have a fraction.
std::string isoDateTime(const CalendarTime& time);

}  // namespace tvx::imagelib
