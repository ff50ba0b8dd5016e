// Operators of macro text (the character classes, names and numbers are in
// interp/chars.h). Macro lines are interpreted straight from their text.
#pragma once

#include <cstdint>
#include <string_view>

#include "interp/chars.h"
#include "interp/command.h"

namespace tvx::interp {

struct ScannedOperator {
    int code = 0;         // 0: no operator here (the expression ends)
    int level = 0;        // lower binds tighter
    int length = 0;       // characters taken
    bool dotted = false;  // written with a leading '.' (element-wise / case-blind compare)
    bool dollar = false;  // written with a leading '$' (case-blind string compare)
};

// Reads the binary operator at p (blanks already skipped). Returns false for an
// unknown operator (error 817: "=<", "><", "..", ...); an expression end gives
// true with code 0.
bool scanOperator(const char* p, ScannedOperator& op);

// The ')' that closes the '(' at open, or the end of the text when none does.
// Quoted texts and character literals inside hold no bracket.
const char* closingBracket(const char* open);

}  // namespace tvx::interp
