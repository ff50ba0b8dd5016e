// Strings and string lists: the Str... commands, the string functions, and the
// 32 string lists that macros address through handles carried in numbers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tvx::interp {
class Interpreter;
}

namespace tvx::builtins {

// Registers the string commands, string functions, list commands, !Data and
// the display of string lists on "?" lines.
void registerStringCommands(interp::Interpreter& ip);

// ---- String lists, for the other built-in families (Len, FileDialog, ListReg)

// The number of entries of the list a number designates, or -1 when the number
// is no handle of an existing list.
long stringListSize(interp::Interpreter& ip, double handle);

// Empties the list whose handle the variable holds, or takes the next slot of the
// round-robin counter when it holds none; returns the handle to store back.
double initStringList(interp::Interpreter& ip, double currentValue);

// Appends text to the list of handle; returns the new entry's number (from 1),
// or -1 when handle designates no list slot.
long addToStringList(interp::Interpreter& ip, double handle, std::string_view text);

}  // namespace tvx::builtins
