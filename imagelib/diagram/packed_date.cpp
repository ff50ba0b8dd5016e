// Packed dates: conversions between the packed form, the calendar and a linear
// scale of seconds.
#include "imagelib/diagram/packed_date.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace tvx::imagelib {

namespace {

constexpr double kDay = 86400;

// Days from 1970-01-01 of a proleptic Gregorian date (month 1..12, any day).
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(int64_t days, int& year, int& month, int& day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

const int64_t kEpoch1960 = daysFromCivil(1960, 1, 1);

}  // namespace

int packDate(int year, int month, int day)
{
    return ((year - 1960) << 9) | ((month & 15) << 5) | (day & 31);
}

bool unpackDateValue(double value, CalendarTime& out)
{
    if (!std::isfinite(value) || value < 0 || value >= 9.0e15)
        return false;
    double packed = value;
    double seconds = 0;
    if (value >= kPackedWithTime) {
        packed = std::floor(value / kDay);
        seconds = value - packed * kDay;
    } else {
        packed = std::floor(value);
    }
    const auto bits = static_cast<int64_t>(packed);
    const int day = static_cast<int>(bits & 31);
    const int month = static_cast<int>((bits >> 5) & 15);
    if (day == 0 || month == 0 || month > 12)
        return false;
    out.year = static_cast<int>(1960 + (bits >> 9));
    out.month = month;
    out.day = day;
    out.seconds = seconds;
    return true;
}

double packDateValue(const CalendarTime& time)
{
    return static_cast<double>(packDate(time.year, time.month, time.day)) * kDay + time.seconds;
}

double calendarSeconds(const CalendarTime& time)
{
    const int64_t days = daysFromCivil(time.year, time.month, time.day) - kEpoch1960;
    return static_cast<double>(days) * kDay + time.seconds;
}

CalendarTime calendarFromSeconds(double seconds)
{
    CalendarTime t;
    if (!std::isfinite(seconds) || std::fabs(seconds) > 3.0e15)
        return t;
    auto days = static_cast<int64_t>(std::floor(seconds / kDay));
    double rest = seconds - static_cast<double>(days) * kDay;
    if (rest >= kDay) {  // rounding at the very end of a day
        rest -= kDay;
        ++days;
    }
    t.seconds = rest < 0 ? 0 : rest;
    civilFromDays(days + kEpoch1960, t.year, t.month, t.day);
    return t;
}

double packedFromUnixSeconds(double unixSeconds)
{
    if (std::isnan(unixSeconds))
        return unixSeconds;
    // 1960-01-01 local time is at most a day away from -315619200 UTC.
    const double earliest = -315619200.0 + kDay;
    if (!(unixSeconds >= earliest))
        return packDateValue(CalendarTime{});
    if (unixSeconds > 4.0e12)  // beyond the year 100000: no calendar of ours reaches it
        unixSeconds = 4.0e12;
    const double whole = std::floor(unixSeconds);
    const auto t = static_cast<time_t>(whole);
    std::tm local{};
    if (!localtime_r(&t, &local))
        return packDateValue(CalendarTime{});
    CalendarTime c;
    c.year = local.tm_year + 1900;
    c.month = local.tm_mon + 1;
    c.day = local.tm_mday;
    c.seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + (unixSeconds - whole);
    if (c.year < 1960)
        return packDateValue(CalendarTime{});
    return packDateValue(c);
}

std::string isoDateTime(const CalendarTime& time)
{
    const double whole = std::floor(time.seconds);
    const int s = static_cast<int>(whole);
    char text[64];
    int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day,
                          s / 3600, s / 60 % 60, s % 60);
    const double fraction = time.seconds - whole;
    if (fraction > 0 && n > 0) {
        char part[16];
        std::snprintf(part, sizeof part, "%.3f", fraction);
        // "0.250" -> ".250"; a fraction that rounds to 1.000 stays out.
        if (part[0] == '0')
            std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "%s", part + 1);
    }
    return text;
}

}  // namespace tvx::imagelib
