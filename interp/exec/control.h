// The control-flow statements of the interpreter core.
#pragma once

#include "interp/errors.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::interp {

struct MCVal;

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
// formals, or given already read). knownId: the function's label id, when
// the caller knows it (and so has found the name is not a reserved word).
Error runFunctionLine(Interpreter& ip, std::string_view name, std::string_view formals,
                      const std::vector<FormalParameter>* read = nullptr, int knownId = 0);

// A call keeps this much of its argument text.
constexpr size_t kMaxArgumentText = 511;

// A call's actual arguments as binding reads them: the argument text (cut to
// what a call keeps) split at its commas, without blanks around each.
void splitArguments(std::string_view argumentText, std::vector<std::string_view>& out);

// EndLoop: the end of one pass of the innermost loop.
Error endLoop(MacroContext& ctx);

// If: a false condition (0) skips to the If's ElseIf, Else or EndIf.
void ifCondition(MacroContext& ctx, int32_t condition);

// Return, with the function's value (null: none): back from the innermost
// call, or the end of a called macro.
Error returnWith(Interpreter& ip, MacroContext& ctx, MCVal* value);

// AND, OR, XOR, DIV, MOD, FMOD and MUL cannot name a function.
bool isReservedFunctionName(std::string_view name);

}  // namespace tvx::interp
