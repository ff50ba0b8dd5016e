// Shared by the string command files.
#pragma once

#include <string>
#include <string_view>

#include "interp/api.h"

namespace tvx::builtins {

// The most a string variable holds: what the string work area can build.
constexpr size_t kStringRoom = 4095;

// Replaces or extends a string variable's text within its room; 14 (String
// overflow) when it would not fit, the variable then unchanged.
interp::Error setText(std::string& dest, std::string_view text);
interp::Error appendText(std::string& dest, std::string_view text);

void registerStringFunctions(interp::Interpreter& ip);
void registerListCommands(interp::Interpreter& ip);
void registerExecuteCommands(interp::Interpreter& ip);
void registerPathCommands(interp::Interpreter& ip);

}  // namespace tvx::builtins
