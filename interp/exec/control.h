// The control-flow statements of the interpreter core.
#pragma once

#include "interp/errors.h"

#include <string_view>

namespace tvx::interp {

class Interpreter;

void registerControlStatements(Interpreter& ip);

// A Function line: records the function's position and, when a call of it is
// pending, binds the call's arguments to the formal parameters.
Error runFunctionLine(Interpreter& ip, std::string_view name, std::string_view formals);

// AND, OR, XOR, DIV, MOD, FMOD and MUL cannot name a function.
bool isReservedFunctionName(std::string_view name);

}  // namespace tvx::interp
