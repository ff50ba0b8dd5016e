// The control-flow statements of the interpreter core.
#pragma once

#include <string_view>

namespace tvx::interp {

class Interpreter;

void registerControlStatements(Interpreter& ip);

// AND, OR, XOR, DIV, MOD, FMOD and MUL cannot name a function.
bool isReservedFunctionName(std::string_view name);

}  // namespace tvx::interp
