// Values as the Watch Window shows them (also what batch mode prints for "?").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "interp/values/mcval.h"

namespace tvx::interp {

class Interpreter;

// Numbers with 15 significant digits, complex numbers as "Complex(re, im)",
// vectors and matrices as their summary line followed by one line per element.
// A string-list handle shows as its list, through the family that keeps lists.
std::string displayValue(Interpreter& ip, const MCVal& value);

// One element of a block as a number; byte elements above 31 also show their
// character ("65 'A'").
std::string displayElement(const DataBlock* block, int64_t index);

// A string in quotes (up to 252 characters), a longer one as it is (cut at 4096).
std::string displayString(std::string_view text);

}  // namespace tvx::interp
