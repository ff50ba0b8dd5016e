// Shared by the string command files.
#pragma once

#include <string>
#include <string_view>

#include "interp/api.h"

namespace tvx::builtins {

// Replaces or extends a string variable's text, widening its room as needed;
// 14 (String overflow) beyond the longest text a variable takes, 13 when the
// memory is not there, the variable then unchanged.
interp::Error setText(std::string& dest, std::string_view text);
interp::Error appendText(std::string& dest, std::string_view text);

void registerStringFunctions(interp::Interpreter& ip);
void registerListCommands(interp::Interpreter& ip);
void registerExecuteCommands(interp::Interpreter& ip);
void registerPathCommands(interp::Interpreter& ip);

}  // namespace tvx::builtins
