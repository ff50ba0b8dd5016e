// The control-flow statements of the interpreter core.
#pragma once

#include "interp/errors.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace tvx::interp {

class Interpreter;
struct MacroContext;

void registerControlStatements(Interpreter& ip);

// One formal parameter of a Function line, as read from its text.
struct FormalParameter {
    std::string_view name;
    uint16_t hash = 0;
    bool byReference = false;  // written with '&'
    bool valid = false;        // a name: binding fails with Bad Symbol Name when it reaches one that is not
};

// The formal parameters of a Function line's text (after the function's name).
void readFormalParameters(std::string_view formals, std::vector<FormalParameter>& out);

// A Function line: records the function's position and, when a call of it is
// pending, binds the call's arguments to the formal parameters (read from
// formals, or given already read).
Error runFunctionLine(Interpreter& ip, std::string_view name, std::string_view formals,
                      const std::vector<FormalParameter>* read = nullptr);

// EndLoop: the end of one pass of the innermost loop.
Error endLoop(MacroContext& ctx);

// AND, OR, XOR, DIV, MOD, FMOD and MUL cannot name a function.
bool isReservedFunctionName(std::string_view name);

}  // namespace tvx::interp
