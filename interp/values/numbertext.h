// The two conversions of numbers to text that the whole program uses (Watch
// Window, dialog edits, string commands), and rounding to significant digits.
#pragma once

#include <string>

namespace tvx::interp {

// x written with n significant digits (1..15) in the shortest form and read
// back; other n leave x unchanged.
double roundToSignificant(double x, int n);

// The display format: digit count d and width w (each 0..255). When w < d, w
// becomes d if d > 6, d + 1 if d is 5 or 6, and 6 otherwise; when d < w the
// number is first rounded to d significant digits; then "%.<w>g".
std::string displayNumber(double x, int digits, int width);

// The short form: 0.000099999 <= |x| < 0.1 is rounded to 7 decimal places and
// written with "%g"; otherwise 6 significant digits in the shortest form,
// without a trailing decimal point.
std::string shortNumber(double x);

// The '#' format of strings without specification: a value in the 32-bit
// range (signed or not) rounded to a whole number, anything else with "%.10g".
// Appended to out.
void appendWholeNumber(std::string& out, double x);

}  // namespace tvx::interp
