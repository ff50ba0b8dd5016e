// The numeric functions of the macro language: power and logarithms,
// trigonometric and hyperbolic functions (real and complex), complex parts,
// rounding, classification, bit fields, limits, random numbers, special
// functions, Val and Cond, variable information, and the time status variables.
#pragma once

#include <cstdint>
#include <string>

namespace tvx::interp {
class Interpreter;
}

namespace tvx::builtins {

// Registers the numeric functions and the time status variables. The handlers
// read the command code from CallArgs::code, so a direct call must set it; an
// argument slot without a value record counts as a real number.
void registerNumericFunctions(interp::Interpreter& ip);

// ---- Scalar helpers, also for element-wise use

// Truncation toward zero; values beyond the 64-bit range (already integers),
// infinities and NaN come back unchanged.
double truncateToInteger(double x);
// x rounded half away from zero to a multiple of step (a step that is not > 0
// counts as 1); x unchanged when x / step is beyond 2^63.
double roundToStep(double x, double step);
// (value >> start) masked to count bits; start modulo 32, count below 1 is 1,
// 32 or more takes the whole shifted value.
uint32_t bitField(int32_t value, int start, int count);
// The same, shifted arithmetically and sign-extended from bit count - 1.
int32_t signedBitField(int32_t value, int start, int count);
// The lowest count bits in reverse order (count below 1 is 8, above 64 is 64;
// bits above bit 31 repeat the sign), as a signed 32-bit number.
int32_t reverseBits(int32_t value, int count);
// ln Gamma(x) by the Lanczos series (about ten correct digits).
double gammaLog(double x);
// erf x through the regularised incomplete gamma function P(0.5, x^2).
double errorFunction(double x);
// erf x by a Chebyshev fit of erfc (relative error about 1e-7).
double fastErrorFunction(double x);

// ---- Calendar time

// The fields of struct tm (month 0..11, year counted from 1900, day of year
// from 0) plus milliseconds, and seconds since 1970 as a number.
struct CalendarTime {
    double seconds = 0;
    int millisecond = 0, second = 0, minute = 0, hour = 0, day = 0, month = 0, year = 0;
    int weekday = 0, yearDay = 0, daylightSaving = 0;
};

// The time named by the index of !SystemTime, !Time and !TimeE: 1 the current
// universal time; below 32 the current local time (its seconds counted as if
// the local clock were universal time); 1048576 and above that many seconds
// since 1970; otherwise a packed date (day in bits 0..4, month 1..12 in bits
// 5..8, years since 1900 from bit 9). False when the index names no valid date.
bool calendarTime(int index, CalendarTime& out);

// "dd.mm.yyyy hh:mm:ss" (or "yyyy/mm/dd hh:mm:ss" in the English form) of the
// time the index names; weekdayName receives the two-letter weekday (German or
// English) and weekday its number (Sunday 0). An invalid index gives zeros and
// the weekday name "??".
std::string formatTimeText(int index, bool english, std::string& weekdayName, int32_t& weekday);

}  // namespace tvx::builtins
