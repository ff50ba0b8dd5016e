// A console session for the program's terminal mode: typed texts run one after
// another in one scope, so variables stay from one text to the next.
#pragma once

#include <string_view>

namespace tvx::interp {

class Interpreter;

// Runs one typed text in the session (the first text opens it). Nothing happens
// while a macro runs.
void runInSession(Interpreter& ip, std::string_view text);
// Ends the session as the end of a macro does (exit command, stored variables,
// objects, the families' end of run).
void endSession(Interpreter& ip);

}  // namespace tvx::interp
