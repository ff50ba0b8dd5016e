// Storing values into variables: the assignment rules shared by '=' lines,
// parameter binding and the vector statements.
#pragma once

#include <string_view>

#include "interp/errors.h"
#include "interp/symbols/variable.h"
#include "interp/values/mcval.h"

namespace tvx::interp {

// The fill rule: a number goes into every element (rounded for integer types);
// for a zero value or byte elements the payload bytes are set directly.
void fillBlock(DataBlock* block, double value);

// Assignment to a vector: a number fills every element; a string makes one
// element per character; a block is copied (the destination takes the source's
// count, and its element type unless keepType). Returns 0 or an error number.
Error assignToVector(DataBlock*& destination, const MCVal* value, const std::string* text, bool keepType);

// Makes var a complex scalar (a 2-element block of type 15).
Error setComplex(Variable& var, double re, double im);

// Replaces var's value by value (any form), changing its kind. A block the
// value owns (a computed temporary) is taken over and value left empty; any
// other block is copied.
Error replaceValue(Variable& var, MCVal& value);

}  // namespace tvx::interp
