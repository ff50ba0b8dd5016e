// Values as the Watch Window shows them (also what batch mode prints for "?").
#pragma once

#include <string>
#include <string_view>

#include "interp/values/mcval.h"

namespace tvx::interp {

class Interpreter;

// Numbers with 15 significant digits, complex numbers as "Complex(re, im)",
// vectors and matrices as their summary line followed by one line per element.
std::string displayValue(const Interpreter& ip, const MCVal& value);

// How a number that is a string list handle is shown: the string lists
// install this; it returns false when no list is behind the handle (the
// number is then shown as a number).
using StringListDisplay = bool (*)(const Interpreter& ip, double handle, std::string& text);
void setStringListDisplay(StringListDisplay display);

// A string in quotes (up to 252 characters), a longer one as it is (cut at 4096).
std::string displayString(std::string_view text);

}  // namespace tvx::interp
