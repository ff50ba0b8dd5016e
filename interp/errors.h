// Interpreter error numbers. A failing operation returns n (1..99, or 100 and
// more for internal errors); the user sees message 800 + n. The numbers and
// their names come from the message table (resources/messages.tbl).
#pragma once

namespace tvx::interp {

enum [[nodiscard]] Error : int{
    kOk = 0,
#define TVX_ERROR(id, number) k##id = number,
#include "resources/codes.inc"
#undef TVX_ERROR

    kSignatureTooLong = 100,  // internal: a command-table row with a signature over 41 characters

    // Not an error: the numeric evaluator met a string operand and hands the
    // position back to its caller, which may read it as a string expression.
    kStringOperand = -1,
};

}  // namespace tvx::interp
